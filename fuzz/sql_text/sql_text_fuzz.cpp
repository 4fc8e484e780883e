// Query text as a profile or the query dialog hands it over: the Jet rewriting,
// the reading of its select list, and LIKE patterns matched against text. The
// first line is a LIKE pattern (up to 256 bytes), the rest the statement and
// the text it is matched against.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dao/jet_error.h"
#include "platform/dao/jet_sql.h"
#include "platform/dao/sql_shape.h"
#include "platform/dao/text_match.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t eol = input.find('\n');
  std::string_view pattern = input.substr(0, eol == std::string_view::npos ? input.size() : eol);
  std::string_view rest = eol == std::string_view::npos ? std::string_view() : input.substr(eol + 1);
  if (pattern.size() > 256) pattern = pattern.substr(0, 256);

  std::string sql(rest);
  try {
    sql = jet::rewrite_jet_sql(rest);
  } catch (const jet::jet_error&) {
    // A date literal that does not read is reported, not a fault.
  }
  if (auto shape = jet::select_shape_of(sql)) {
    for (const auto& item : shape->items) {
      if (item.text.size() < item.expression.size()) __builtin_trap();
      jet::is_column_reference(item.expression);
      std::string argument = jet::call_argument(item.expression, "MAX");
      if (argument.size() > item.expression.size()) __builtin_trap();
    }
  }
  std::string inner = jet::counted_subquery(rest);
  if (inner.size() > rest.size()) __builtin_trap();

  int order = jet::compare_text_nocase(pattern, rest);
  if (order != -jet::compare_text_nocase(rest, pattern)) __builtin_trap();
  try {
    jet::like_pattern like(pattern);
    bool matched = like.matches(rest.substr(0, 4096));
    // A pattern without wildcards matches itself.
    if (pattern.find_first_of("*%?_#[") == std::string_view::npos && !jet::like_pattern(pattern).matches(pattern))
      __builtin_trap();
    (void)matched;
  } catch (const jet::jet_error&) {
    // A '[' without its ']'.
  }
  return 0;
}
