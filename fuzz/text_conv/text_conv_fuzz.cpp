// Bytes from files meet the code-page conversions, the trims and splits and
// the GUID extractor: none may crash, loop or read outside its input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "OLE/ole_misc.h"
#include "TK/tk_utils.h"
#include "platform/kernel/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const UINT pages[] = {CP_UTF8, 1252, 1251, 932, 936, 949, 950, 54936, 28591, 20127, 1200};
  UINT cp = pages[data[0] % (sizeof pages / sizeof pages[0])];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  std::wstring wide = tk_from_narrow(bytes, cp);
  std::string back = tk_to_narrow(wide, cp);
  std::wstring again = tk_from_narrow(back, cp);
  (void)again;
  std::string utf8 = tk_to_utf8(wide);
  if (tk_from_utf8(utf8) != wide && cp != 1200) {
    // Valid scalar values survive UTF-8 unchanged.
    __builtin_trap();
  }
  char small[7];
  tk_to_narrow(wide.c_str(), small, sizeof small, cp);

  // Raw 32-bit values, including ones that are no characters.
  std::wstring raw;
  for (std::size_t i = 1; i + 4 <= size; i += 4) {
    std::uint32_t v = data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) | (static_cast<std::uint32_t>(data[i + 3]) << 24);
    raw += static_cast<wchar_t>(v);
  }
  tk_to_narrow(raw, cp);
  tk_to_utf8(raw);

  tk_trim(wide);
  tk_split(bytes, ',');
  ole_guid_extractor guid(wide);
  guid.get_hex();
  return 0;
}
