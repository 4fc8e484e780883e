// The calling thread's last error and the system's text for an error number.
//
// Our kernel services record their failures here as the error numbers known from
// the messages of these programs (2 file not found, 5 access denied, ...). Code
// that fails in a C library call and then throws tk_exception_ex records the
// failure first with set_last_error_from_errno().
#pragma once

#include <optional>
#include <string>

#include "platform/kernel/kernel_types.h"

namespace kernel {

DWORD get_last_error();
void set_last_error(DWORD code);

// Error numbers of C library failures without a counterpart of their own carry
// this bit with the errno value in the low bits.
constexpr DWORD errno_error_flag = 0x20000000;

// The error number for a C library errno value.
DWORD error_from_errno(int err);
// Records error_from_errno(err) as the calling thread's last error.
void set_last_error_from_errno(int err);

// The system's English text for an error number, ending in CR LF; nothing when
// the system has no text for it.
std::optional<std::string> system_message(DWORD code);

}  // namespace kernel
