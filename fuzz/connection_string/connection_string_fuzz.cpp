// Connection strings from profiles and the command line: the reader must take
// any text without crashing or looping, every value it reads must survive
// being written back quoted, and a data source address must map or be refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/oledb/connection_string.h"
#include "platform/tds/tds_provider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  text.reserve(size);
  for (std::size_t i = 0; i < size; ++i) text += static_cast<wchar_t>(data[i]);
  connection_string parsed(text);
  if (!parsed.is_valid()) return 0;
  // Written back with quoted values, every pair reads back the same.
  std::wstring rebuilt;
  for (const auto& [key, value] : parsed.pairs()) {
    std::wstring escaped_key;
    for (wchar_t c : key) {
      escaped_key += c;
      if (c == L'=') escaped_key += L'=';
    }
    rebuilt += escaped_key + L"=" + connection_string_value(value) + L";";
  }
  connection_string again(rebuilt);
  if (!again.is_valid()) std::abort();
  for (const auto& [key, value] : parsed.pairs()) {
    auto back = again.get(key);
    if (!back || *back != value) std::abort();
  }
  if (auto source = parsed.get(L"Data Source")) {
    std::string server;
    tds_server_address(*source, server);
  }
  return 0;
}
