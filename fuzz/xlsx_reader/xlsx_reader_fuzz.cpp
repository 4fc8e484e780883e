// Arbitrary bytes as an .xlsx package.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drain.h"
#include "platform/dao/workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  drain_workbook([&] { return jet::open_xlsx_memory(bytes); });
  return 0;
}
