#include "TK/tk_excep.h"

#include <cstdio>

#include "TK/tk_trace.h"
#include "platform/kernel/codepage.h"
#include "platform/kernel/last_error.h"

namespace {
constexpr const char* unknown_message = "Unknown exception";
// Location texts are meant for short source names.
constexpr std::size_t max_location_file = 256;
}  // namespace

tk_exception::tk_exception(int level) : message_(unknown_message), level_(level) {}

tk_exception::tk_exception(const std::string& message, int level)
    : message_(message.empty() ? unknown_message : message), level_(level) {}

tk_exception::tk_exception(const std::wstring& message, int level) : level_(level) {
  message_ = kernel::wide_to_multibyte(CP_ACP, message).value_or(std::string());
}

tk_exception::tk_exception(const std::string& message, int code, int level)
    : message_(message.empty() ? unknown_message : message), code_(code), level_(level) {}

tk_exception_ex::tk_exception_ex() : tk_exception(1) {
  DWORD error = kernel::get_last_error();
  code_ = static_cast<int>(error);
  tk_trace(2, "tk_exception_ex::ctor");
  if (auto text = kernel::system_message(error)) message_ = *text;
  tk_trace(2, "GetLastError: %s", message_.c_str());
}

std::string tk_location_code(const char* file, int line) {
  std::string name(file ? file : "");
  if (name.size() > max_location_file) name.resize(max_location_file);
  std::string text = name + '\\' + std::to_string(line);
  std::string code;
  code.reserve(text.size() * 2);
  static const char digits[] = "0123456789abcdef";
  for (unsigned char c : text) {
    code += digits[c >> 4];
    code += digits[c & 15];
  }
  return code;
}

tk_mail_assertion::tk_mail_assertion(const char* file, int line)
    : tk_exception("Internal error: \ncode=" + tk_location_code(file, line), 2) {
  tk_trace(2, "tk_mail_assertion::ctor(%s)", file ? file : "");
}

ole_type_exception::ole_type_exception() : tk_exception("The operating type is not supported yet", 1) {}

ole_cast_exception::ole_cast_exception() : tk_exception("Cannot cast from source type to destination type", 1) {}

tk_final_exception::tk_final_exception() { tk_trace(2, "tk_final_exception::ctor"); }
