#include "OLE/ole_misc.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

void ole_check_interface(IUnknown* p) {
  if (!p) throw tk_mail_assertion("ole_misc", 14);
  p->AddRef();
  p->Release();
}

bool ole_is_text_or_date(VARTYPE vt) { return vt == VT_BSTR || vt == VT_DATE; }

namespace {

constexpr std::size_t guid_groups[] = {8, 4, 4, 4, 12};

bool is_hex(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// The digits of the GUID whose brace is at position, or empty when the text
// does not hold a whole one there.
std::wstring guid_digits(const std::wstring& text, std::size_t brace) {
  std::wstring digits;
  std::size_t at = brace + 1;
  for (std::size_t g = 0; g < std::size(guid_groups); ++g) {
    if (g > 0) ++at;  // the separator
    if (at + guid_groups[g] > text.size()) return {};
    for (std::size_t k = 0; k < guid_groups[g]; ++k, ++at) {
      if (!is_hex(text[at])) return {};
      digits += text[at];
    }
  }
  return digits;
}

}  // namespace

ole_guid_extractor::ole_guid_extractor(const std::wstring& text) : text_(text) {
  tk_wtrace(1, L"ole_guid_extractor::ctor(%s)", text.c_str());
  if (text_.size() < min_text_length) return;
  std::size_t lower = text_.find(L"guid");
  std::size_t upper = text_.find(L"GUID");
  tk_trace(1, "Locating 'guid' (%d : %d)", lower == std::wstring::npos ? -1 : static_cast<int>(lower),
           upper == std::wstring::npos ? -1 : static_cast<int>(upper));
  std::size_t word = lower != std::wstring::npos ? lower : upper;
  if (word == std::wstring::npos) return;
  std::size_t brace = text_.find(L'{', word + 4);
  if (brace == std::wstring::npos) return;
  position_ = static_cast<int>(brace);
  found_ = !guid_digits(text_, brace).empty();
}

std::wstring ole_guid_extractor::get_hex() const {
  if (!found_) return {};
  return guid_digits(text_, static_cast<std::size_t>(position_));
}

std::wstring ole_guid_extractor::get_braced_guid() const {
  if (!found_) return L"";
  return text_.substr(static_cast<std::size_t>(position_), 38);
}
