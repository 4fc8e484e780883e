// Every T-SQL text the SQL Server side builds: name and string quoting, the
// parsing of table names given as T-SQL identifiers, LIKE patterns for exact
// matches, and the statements of the provider (table and index definition,
// schema queries, identity switches, inserts of single rows).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "[name]" with every ']' doubled.
std::wstring tsql_name(std::wstring_view name);
// "N'text'" with every '\'' doubled; a text holding a NUL character, which
// would end the statement's text, as "CONVERT(nvarchar(max), 0x...)" of its
// UTF-16 bytes.
std::wstring tsql_string(std::wstring_view text);
// The name as a LIKE pattern that matches only itself: '_', '%' and '['
// become "[_]", "[%]", "[[]".
std::wstring tsql_like_exact(std::wstring_view name);

// A table name: its owner (empty when not given) and its own name.
struct tsql_object_name {
  std::wstring owner;
  std::wstring name;
};
// Reads a table name given as T-SQL identifier text: one to four parts
// separated by '.', each bracketed ("[a]]b]" is a]b), double-quoted or plain.
// The last part is the name, the one before it the owner; server and database
// parts are dropped. A text that does not read as such (a raw name like
// "Sheet1$" with a '.' inside brackets unbalanced, or "a].[b") is the name itself.
tsql_object_name tsql_parse_name(std::wstring_view text);
// "[owner].[name]", or "[name]" without an owner.
std::wstring tsql_object(const tsql_object_name& name);

// One column of CREATE TABLE.
struct tsql_column {
  std::wstring name;
  std::wstring type;           // "nvarchar(50)", "decimal(10,2)", ...
  bool nullable = true;
  bool identity = false;
  std::wstring default_value;  // an expression, empty for none
};
std::wstring tsql_create_table(const tsql_object_name& table, const std::vector<tsql_column>& columns);
std::wstring tsql_drop_table(const tsql_object_name& table);
// kind: "PRIMARY KEY", "UNIQUE" (both as constraints of the table) or an
// index ("" or "CLUSTERED").
std::wstring tsql_create_index(const tsql_object_name& table, std::wstring_view index, bool primary, bool unique,
                               bool clustered, const std::vector<std::wstring>& columns);
std::wstring tsql_select_all(const tsql_object_name& table, bool no_rows);
std::wstring tsql_identity_insert(const tsql_object_name& table, bool on);
// INSERT INTO table (columns) VALUES (literals).
std::wstring tsql_insert(const tsql_object_name& table, const std::vector<std::wstring>& columns,
                         const std::vector<std::wstring>& literals);
// INSERT INTO table (columns) VALUES (row 1), (row 2), ... (at most 1000 rows).
std::wstring tsql_insert_rows(const tsql_object_name& table, const std::vector<std::wstring>& columns,
                              const std::vector<std::vector<std::wstring>>& rows);
// The settings every connection starts with, so that the server behaves as
// the provider expects whatever its defaults (truncation is an error, NULL
// comparisons and padding as the standard says, text of any length, a lock
// waited for at most lock_timeout_ms).
std::wstring tsql_session_settings(long lock_timeout_ms);
// The default wait for a lock: ten minutes; the tests set less.
inline long tsql_lock_timeout_ms = 600000;

// The collations of a table's columns, from SQL Server 2000 on: a row per
// column of COLUMN_NAME, DATA_TYPE, COLLATION_NAME (NULL but for character
// types), the code page of that collation and the code page of the current
// database's collation (both int; the column's NULL with its collation).
std::wstring tsql_column_collations(const tsql_object_name& table);

// Catalog procedures with exact-match name arguments (empty: not restricted).
std::wstring tsql_sp_tables(std::wstring_view owner, std::wstring_view table, std::wstring_view type);
std::wstring tsql_sp_pkeys(std::wstring_view owner, std::wstring_view table);
std::wstring tsql_sp_statistics(std::wstring_view owner, std::wstring_view table);
std::wstring tsql_sp_fkeys(std::wstring_view pk_owner, std::wstring_view pk_table, std::wstring_view fk_owner,
                           std::wstring_view fk_table);
