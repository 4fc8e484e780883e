#include "platform/kernel/nocase.h"

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

int compare_nocase(std::wstring_view a, std::wstring_view b) {
  std::u16string ua = wide_to_utf16(a), ub = wide_to_utf16(b);
  const UCollator* c = collator();
  if (!c) {
    // Without ICU data: code point order, ASCII letters folded.
    auto fold = [](std::u16string& s) {
      for (auto& ch : s)
        if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
    };
    fold(ua);
    fold(ub);
    return ua < ub ? -1 : ua > ub ? 1 : 0;
  }
  UCollationResult r = ucol_strcoll(c, reinterpret_cast<const UChar*>(ua.data()), static_cast<int32_t>(ua.size()),
                                    reinterpret_cast<const UChar*>(ub.data()), static_cast<int32_t>(ub.size()));
  return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

}  // namespace kernel
