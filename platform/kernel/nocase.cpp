#include "platform/kernel/nocase.h"

#include <unicode/uchar.h>
#include <unicode/ucol.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/kernel/codepage.h"
#include "platform/kernel/locale_env.h"

namespace kernel {
namespace {

std::string collation_locale() {
  std::string name = user_locale_name("LC_COLLATE");
  // ICU's POSIX collation orders by code point, case included: use the root one.
  if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return "";
  return name.substr(0, name.find_first_of(".@"));
}

struct collator_deleter {
  void operator()(UCollator* c) const { ucol_close(c); }
};

// Compare calls on one collator are safe from several threads.
const UCollator* collator() {
  static std::unique_ptr<UCollator, collator_deleter> c = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::string loc = collation_locale();
    UCollator* col = ucol_open(loc.c_str(), &status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      col = ucol_open("", &status);
    }
    if (col) ucol_setStrength(col, UCOL_SECONDARY);
    return std::unique_ptr<UCollator, collator_deleter>(col);
  }();
  return c.get();
}

}  // namespace

namespace {
// Without ICU data: code point order, ASCII letters folded.
void fold_ascii(std::u16string& s) {
  for (auto& ch : s)
    if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
}
}  // namespace

int compare_nocase(std::wstring_view a, std::wstring_view b) {
  std::u16string ua = wide_to_utf16(a), ub = wide_to_utf16(b);
  const UCollator* c = collator();
  if (!c) {
    fold_ascii(ua);
    fold_ascii(ub);
    return ua < ub ? -1 : ua > ub ? 1 : 0;
  }
  UCollationResult r = ucol_strcoll(c, reinterpret_cast<const UChar*>(ua.data()), static_cast<int32_t>(ua.size()),
                                    reinterpret_cast<const UChar*>(ub.data()), static_cast<int32_t>(ub.size()));
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

std::string nocase_key(std::wstring_view text) {
  std::u16string u = wide_to_utf16(text);
  const UCollator* c = collator();
  if (!c) {
    fold_ascii(u);
    std::string key;
    for (char16_t ch : u) key.append({static_cast<char>(ch >> 8), static_cast<char>(ch & 0xFF)});
    return key;
  }
  // The sort key of a collator compares as the texts do.
  const auto* chars = reinterpret_cast<const UChar*>(u.data());
  const auto length = static_cast<int32_t>(u.size());
  std::string key(64, '\0');
  int32_t size = ucol_getSortKey(c, chars, length, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
  if (size > static_cast<int32_t>(key.size())) {
    key.resize(static_cast<std::size_t>(size));
    size = ucol_getSortKey(c, chars, length, reinterpret_cast<uint8_t*>(key.data()), size);
  }
  key.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return key;
}

char32_t fold_case(char32_t c) {
  if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 32 : c;
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

}  // namespace kernel
