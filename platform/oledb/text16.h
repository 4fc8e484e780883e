// UTF-16 text of rowsets and bindings (two bytes a unit) to and from UTF-8,
// through the system's wide text.
#pragma once

#include <string>
#include <string_view>

#include "platform/kernel/codepage.h"

using kernel::utf16_to_wide;
using kernel::utf8_to_wide;
using kernel::wide_to_utf16;
using kernel::wide_to_utf8;

inline std::u16string utf8_to_utf16(std::string_view text) { return wide_to_utf16(utf8_to_wide(text)); }
inline std::string utf16_to_utf8(std::u16string_view text) { return wide_to_utf8(utf16_to_wide(text)); }
