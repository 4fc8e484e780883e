// Arbitrary bytes as an .xls file: the compound file, the BIFF records of the
// workbook globals and every worksheet, read through a file as the engine does.
// Inputs that are not a compound file are also taken as a bare workbook stream,
// so that the fuzzer reaches the BIFF records without building a container first.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../xlsx_reader/drain.h"
#include "platform/dao/workbook.h"
#include "platform/dao/xls_workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int fd = ::memfd_create("xls", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  for (std::size_t done = 0; done < size;) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  // A BIFF sheet may claim 65536 rows by 256 columns: one reading is enough.
  drain_workbook([&] { return jet::open_workbook(path); }, false, false);
  ::close(fd);
  std::string stream(reinterpret_cast<const char*>(data), size);
  if (size > 0) {
    bool book = (data[0] & 1) != 0;
    drain_workbook([&] { return std::make_unique<jet::xls_workbook>(stream, book); }, false, false);
  }
  return 0;
}
