// Arbitrary bytes as an .xls file (libfreexl reads from a path: an in-memory file).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../xlsx_reader/drain.h"
#include "platform/dao/workbook.h"

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
  return 0;
}

// libfreexl's own failing paths leak; they are not ours to mend.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfreexl.so\n"; }
