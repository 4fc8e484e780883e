// Jet SQL that SQLite does not speak, rewritten: #2004-05-06# date literals (to
// the OLE date number the workbook's dates are compared as), "..." text literals,
// & concatenation, and SELECT TOP n (to LIMIT n). Statement separators are
// dropped. Everything else passes unchanged; what SQLite then refuses fails the
// query with a clear error.
#pragma once

#include <string>
#include <string_view>

namespace jet {

std::string rewrite_jet_sql(std::string_view sql);

// The table of "SELECT * FROM [name]" (or a bare or double-quoted name); empty
// for any other statement.
std::string select_all_table(const std::string& sql);

// A name in double quotes and a text in single quotes, quotes inside doubled.
std::string sql_identifier(std::string_view name);
std::string sql_text_literal(std::string_view text);

}  // namespace jet
