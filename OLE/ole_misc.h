// Small helpers around interfaces and values: an interface probe, the text or
// date test of a value type, and the GUID found in a text.
#pragma once

#include <string>

#include "platform/com/com_base.h"
#include "platform/oleaut/types.h"

// Adds a reference and releases it, to prove the interface alive; a null
// pointer is an internal error.
void ole_check_interface(IUnknown* p);

// True for VT_BSTR and VT_DATE.
bool ole_is_text_or_date(VARTYPE vt);

// Finds a braced GUID written after the word "guid" (or "GUID") in a text of
// at least 45 characters, e.g. "... guid={12345678-1234-1234-1234-123456789ABC}".
class ole_guid_extractor {
 public:
  explicit ole_guid_extractor(const std::wstring& text);

  // True when a whole GUID follows the brace: 8, 4, 4, 4 and 12 hexadecimal
  // digits, one separator between the groups.
  bool is_found() const { return found_; }
  // The position of the opening brace, -1 when there is none.
  int get_position() const { return position_; }
  // The 38 characters from "{" to "}"; empty when none was found.
  std::wstring get_braced_guid() const;
  // The 32 hexadecimal digits without braces and separators; empty when none was found.
  std::wstring get_hex() const;

  static constexpr std::size_t min_text_length = 45;

 private:
  int position_ = -1;
  std::wstring text_;
  bool found_ = false;
};
