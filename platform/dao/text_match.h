// Text comparison as workbook queries compare: letters without regard to case,
// and LIKE with the Jet wildcards.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

namespace jet {

// Orders two UTF-8 texts by their code points with case folded: -1, 0 or 1.
// Bytes that are not UTF-8 count as code points of their own.
int compare_text_nocase(std::string_view a, std::string_view b);

// A LIKE pattern: * (or %) any run of characters, ? (or _) any one character,
// # one digit, [abc] or [a-z] one of those characters, [!abc] one not among
// them; letters match without regard to case. With an escape character, the
// character after it stands for itself.
class like_pattern {
 public:
  // Throws jet_error (3075) for a '[' without its ']'.
  explicit like_pattern(std::string_view pattern, char32_t escape = 0);
  bool matches(std::string_view text) const;

 private:
  struct range {
    char32_t low, high;
  };
  struct item {
    enum class kind { literal, any_run, any_one, digit, set };
    kind what = kind::literal;
    char32_t c = 0;           // the literal, case folded
    bool negated = false;     // [!...]
    std::vector<range> set;   // case folded
  };
  bool matches_one(const item& it, char32_t c) const;

  std::vector<item> items_;
};

}  // namespace jet
