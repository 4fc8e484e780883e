// Bytes of a worksheet list file, read as the console reads them: no crash,
// no empty name, no line break inside a name, never more names than lines.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "apps/dunmere_console/con_cmdl.h"
#include "common/text_code_page.h"
#include "platform/kernel/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  for (UINT cp : {static_cast<UINT>(CP_UTF8), cp_windows_1252, 1251u, 932u}) {
    for (const std::wstring& name : parse_tab_list(bytes, cp)) {
      if (name.empty() || name.find(L'\n') != std::wstring::npos) __builtin_trap();
    }
    if (parse_tab_list(bytes, cp).size() > lines) __builtin_trap();
  }
  return 0;
}
