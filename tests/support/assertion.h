// Internal checks in tests: the message an assertion carries, and the message of
// the assertion (if any) that a piece of code raises.
#pragma once

#include <string>

#include "TK/tk_excep.h"

// The message of tk_mail_assertion(file, line).
inline std::string assertion_text(const char* file, int line) {
  return "Internal error: \ncode=" + tk_location_code(file, line);
}

// Runs f; the message of the tk_mail_assertion it raises, or "no assertion".
template <class F>
std::string assertion_of(F&& f) {
  try {
    f();
  } catch (const tk_mail_assertion& e) {
    return e.message();
  }
  return "no assertion";
}
