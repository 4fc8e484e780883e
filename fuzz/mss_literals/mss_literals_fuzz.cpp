// Texts that reach SQL Server statements and texts the server's catalog hands
// back: a literal must read back as the text it was made from, a bracketed
// name as the name, and column defaults and table names of any form must be
// read without crashing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <string>

#include "MSS/mss_engi.h"
#include "MSS/mss_lit.h"
#include "MSS/mss_tab.h"
#include "TK/tk_excep.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_sql.h"

namespace {

// The text inside N'...' with every doubled quote made one again.
bool read_literal(const std::wstring& literal, std::wstring& text) {
  if (literal.size() < 3 || literal[0] != L'N' || literal[1] != L'\'' || literal.back() != L'\'') return false;
  text.clear();
  for (std::size_t i = 2; i + 1 < literal.size(); ++i) {
    if (literal[i] == L'\'') {
      if (i + 2 >= literal.size() || literal[i + 1] != L'\'') return false;  // a quote that ends the literal early
      ++i;
    }
    text += literal[i];
  }
  return true;
}

// The text of CONVERT(nvarchar(max), 0x...), the form a text holding NUL takes:
// its UTF-16 units, low byte first (the texts here are all in the basic plane).
bool read_hex_literal(const std::wstring& literal, std::wstring& text) {
  const std::wstring head = L"CONVERT(nvarchar(max), 0x";
  if (literal.rfind(head, 0) != 0 || literal.back() != L')') return false;
  const std::wstring hex = literal.substr(head.size(), literal.size() - head.size() - 1);
  if (hex.size() % 4 != 0) return false;
  auto nibble = [](wchar_t c) { return c <= L'9' ? c - L'0' : c - L'A' + 10; };
  text.clear();
  for (std::size_t i = 0; i < hex.size(); i += 4) {
    for (std::size_t k = 0; k < 4; ++k)
      if (!std::iswxdigit(static_cast<wint_t>(hex[i + k])) || std::iswlower(static_cast<wint_t>(hex[i + k]))) return false;
    const int low = nibble(hex[i]) * 16 + nibble(hex[i + 1]);
    const int high = nibble(hex[i + 2]) * 16 + nibble(hex[i + 3]);
    text += static_cast<wchar_t>(high * 256 + low);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const VARTYPE types[] = {VT_BSTR, VT_DATE, VT_I4, VT_R8, VT_DECIMAL, VT_BOOL, VT_BLOB, VT_CY, VT_I8};
  const VARTYPE vt = types[data[0] % (sizeof types / sizeof types[0])];
  std::wstring text;
  for (std::size_t i = 1; i < size; ++i) text += static_cast<wchar_t>(data[i] < 0x80 ? data[i] : 0x4E00 + data[i]);

  const std::wstring literal = to_mssql_str(text, VT_BSTR);
  std::wstring back;
  if (text.find(L'\0') != std::wstring::npos) {
    if (!read_hex_literal(literal, back) || back != text) std::abort();
  } else {
    if (!text.empty() && literal[0] == L'N' && (!read_literal(literal, back) || back != text)) std::abort();
    if (literal[0] != L'N' && literal != L"''" && literal.find(L'\'', 1) != literal.size() - 1) std::abort();
  }
  to_mssql_str(text, vt);

  const tsql_object_name parsed = tsql_parse_name(mss_bracket_name(text));
  if (!text.empty() && (parsed.name != text || !parsed.owner.empty())) std::abort();
  std::wstring table, owner;
  mss_split_tab_name(text, table, owner);
  try {
    mss_table::get_def_value(vt, text);
  } catch (const tk_exception&) {
  }

  // Text held in a code page reads back as itself; a number text is read or
  // refused, never more.
  const std::u16string units = wide_to_utf16(text);
  for (const unsigned code_page : {1252u, 1251u, 932u}) {
    std::string bytes;
    std::u16string unheld;
    if (tds_narrow(units, code_page, bytes, &unheld) ? tds_widen(bytes, code_page) != units : unheld.empty())
      std::abort();
  }
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c < 0x80 ? c : '?');
  for (const DBTYPE type : {DBTYPE_I4, DBTYPE_BOOL, DBTYPE_CY, DBTYPE_NUMERIC}) {
    DB_NUMERIC n{};
    tds_number_from_text(narrow, type, 10, 2, n);
  }
  return 0;
}
