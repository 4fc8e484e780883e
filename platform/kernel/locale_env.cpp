#include "platform/kernel/locale_env.h"

#include <cstdlib>

namespace kernel {

std::string user_locale_name(const char* category_variable) {
  for (const char* n : {"LC_ALL", category_variable, "LANG"}) {
    const char* v = std::getenv(n);
    if (v && *v) return v;
  }
  return {};
}

}  // namespace kernel
