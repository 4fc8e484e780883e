// The user's locale name for a category, as the environment gives it.
#pragma once

#include <string>

namespace kernel {

// LC_ALL, else the category's variable (e.g. "LC_CTYPE"), else LANG; empty when none is set.
std::string user_locale_name(const char* category_variable);

}  // namespace kernel
