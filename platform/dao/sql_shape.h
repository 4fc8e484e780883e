// What the text of a SELECT statement (in SQLite's syntax, after the Jet
// rewriting) tells about its result columns: the select list of its first
// SELECT, each item with and without its alias, and the FROM clause they are
// read from.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

struct select_item {
  std::string text;        // the item as written
  std::string expression;  // without a trailing "AS name"
  bool star = false;       // * or t.*
};

struct select_shape {
  std::vector<select_item> items;
  std::string from_clause;  // "FROM ..." up to WHERE, GROUP BY, ... or the end; empty when none
};

// The shape of a statement that begins with SELECT; nullopt for any other.
std::optional<select_shape> select_shape_of(std::string_view sql);

// A plain column reference: name, table.name ([bracketed] or "quoted" parts).
bool is_column_reference(std::string_view expression);

// The argument of a call of the function (case ignored) that is the whole
// expression: "d" of "Max(d)" or "Max(DISTINCT d)"; empty for anything else.
std::string call_argument(std::string_view expression, std::string_view function);

// The inner statement of "select count(*) from (inner)", as the data-access
// layer counts a query's records; empty for any other statement.
std::string counted_subquery(std::string_view sql);

}  // namespace jet
