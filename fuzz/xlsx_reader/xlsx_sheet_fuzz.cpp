// Mutated worksheet XML inside a valid package. The input is split at the first
// NUL byte: the worksheet part, then the shared-string part.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drain.h"
#include "package.h"
#include "platform/dao/workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  auto split = input.find('\0');
  std::string sheet = input.substr(0, split);
  std::string strings = split == std::string::npos ? "" : input.substr(split + 1);
  std::string bytes = worksheet_package(sheet, strings);
  drain_workbook([&] { return jet::open_xlsx_memory(bytes); });
  return 0;
}
