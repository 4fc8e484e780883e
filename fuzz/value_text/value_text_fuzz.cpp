// Text from cells and CSV fields meets the value readers: numbers, currency,
// decimals, dates, booleans and binary text, and the type changes after them.
// None may crash, loop or read outside its input, and what reads as a decimal
// must print and read back to the same value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "OLE/ole_date.h"
#include "OLE/ole_var.h"
#include "TK/tk_excep.h"

namespace {

const VARTYPE types[] = {VT_I1,  VT_UI1,  VT_I2,   VT_UI2, VT_I4,   VT_UI4,       VT_INT, VT_UINT, VT_I8,
                         VT_UI8, VT_R4,   VT_R8,   VT_CY,  VT_DATE, VT_BSTR,      VT_BOOL, VT_DECIMAL,
                         VT_BLOB, VT_BLOB_OBJECT, VT_ARRAY | VT_UI1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const VARTYPE from = types[data[0] % (sizeof types / sizeof types[0])];
  const VARTYPE to = types[data[1] % (sizeof types / sizeof types[0])];
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::wstring wide(text.begin(), text.end());

  DECIMAL dec{};
  if (SUCCEEDED(VarDecFromStr(wide.c_str(), LOCALE_EN_US, 0, &dec))) {
    DECIMAL again{};
    const std::wstring printed = decimal_to_text(dec);
    if (FAILED(VarDecFromStr(printed.c_str(), LOCALE_EN_US, 0, &again)) || decimal_compare(dec, again) != 0)
      __builtin_trap();
  }
  CY cy{};
  VarCyFromStr(wide.c_str(), LOCALE_EN_US, 0, &cy);
  DATE date = 0;
  if (SUCCEEDED(VarDateFromStr(wide.c_str(), LOCALE_EN_US, 0, &date))) {
    SYSTEMTIME parts{};
    if (!VariantTimeToSystemTime(date, &parts)) __builtin_trap();
  }

  ole_date parsed(text);
  if (parsed.get_kind() != ole_date::invalid && !parsed.is_valid()) __builtin_trap();
  parsed.to_string();

  try {
    ole_variant value;
    value.from_string(text, from);
    value.to_string();
    value.to_wstring();
    ole_variant copy(value);
    copy.change_type(to);
    copy.to_string();
  } catch (const tk_exception&) {
    // Text a type cannot take is reported, not a fault.
  }
  return 0;
}
