// The in-memory catalog of the test server: databases, tables with typed
// columns, rows, keys, indexes and foreign keys. Names compare without regard
// to case, as under SQL Server's default collation. All access goes through
// the catalog's mutex (`lock()`).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "tests/support/tds_server/tds_types.h"

namespace tds {

// Upper-cased (ASCII) form of a name, the key names are compared by.
std::string name_key(std::string_view name);

struct column_def {
  std::string name;  // UTF-8
  column_type type;
  bool nullable = true;
  bool identity = false;
  int64_t seed = 1, increment = 1;
  std::optional<std::string> default_text;  // as SQL Server shows it: "((0))", "(N'x')"
  value default_value;
  std::optional<uint16_t> collate;  // COLLATE as written (until the table is made, then in type.collation)
  std::string default_name;         // the DEFAULT constraint's ("DF__..." when the statement named none)
};

// A CHECK constraint: kept as written, not enforced.
struct check_def {
  std::string name;
  std::string text;                  // "(a > 0)"
  std::vector<std::string> columns;  // the table's columns it names
};

// A primary key, unique constraint or index.
struct index_def {
  std::string name;
  std::vector<std::string> columns;
  bool unique = false;
  bool primary = false;
  bool clustered = false;
  bool constraint = false;  // PRIMARY KEY / UNIQUE constraint rather than CREATE INDEX
  std::string filter;       // a filtered index's condition as written ("" for none)
  std::unordered_set<std::string> keys;  // of the rows, for unique ones
};

struct foreign_key {
  std::string name;
  std::vector<std::string> columns;
  std::string ref_owner = "dbo", ref_table;
  std::vector<std::string> ref_columns;
  std::string on_delete = "NO ACTION", on_update = "NO ACTION";
};

// One stored row: the cells packed in one string ([4-byte length or ~0][bytes] each),
// compact enough for millions of rows.
class row {
 public:
  row() = default;
  explicit row(const std::vector<cell>& cells);
  std::size_t size() const;
  cell at(std::size_t i) const;
  std::vector<cell> cells() const;
 private:
  std::string packed_;
};

struct table {
  std::string owner = "dbo";
  std::string name;
  std::vector<column_def> columns;
  std::vector<row> rows;
  std::vector<index_def> indexes;
  std::vector<foreign_key> foreign_keys;
  std::vector<check_def> checks;
  int64_t identity_last = 0;
  bool identity_used = false;
  int object_id = 0;

  int column_index(std::string_view name) const;  // -1 when there is none
  int identity_column() const;                      // -1 when there is none
  const index_def* primary_key() const;
  // The primary key or unique index on exactly these columns, in this order; null when none.
  const index_def* unique_index_on(const std::vector<std::string>& cols) const;
  // The key of a row for an index (case folded, trailing blanks cut, as the collation compares).
  std::string index_key(const index_def& ix, const std::vector<cell>& cells) const;
  // Checks unique indexes and adds the row (2627/2601 on a duplicate key).
  void add_row(std::vector<cell> cells);
  // Adds rows already checked against each other and the table, all or none.
  void add_rows(std::vector<std::vector<cell>>&& rows);
  void rebuild_keys();
};

// A database user: the login it stands for and the schema its unqualified
// names resolve in first (then dbo).
struct db_user {
  std::string name, login;
  std::string default_schema = "dbo";
};

struct db_schema {
  std::string name;
  int id = 0;
  std::string owner = "dbo";  // a user name
};

struct database {
  std::string name;
  bool accessible = true;
  uint16_t collation = default_collation;  // CREATE DATABASE ... COLLATE; its columns' unless they name one
  // The login that created the database: it is dbo here, as every sysadmin is.
  std::string owner_login;
  // Whether the guest user is enabled (master, tempdb, msdb): a login without a
  // user of its own enters as guest instead of being refused.
  bool guest = false;
  std::map<std::string, db_user> users;      // by name_key(name); dbo and guest are implicit
  std::map<std::string, db_schema> schemas;  // by name_key(name)
  // Members of the fixed database roles (by name_key of role and of user).
  std::map<std::string, std::set<std::string>> role_members;
  // GRANT (true) and DENY (false), by name_key("securable|grantee|permission"),
  // the securable "" for the database or "SCHEMA::name".
  std::map<std::string, bool> permissions;
  int next_schema_id = 5;
  std::map<std::string, std::unique_ptr<table>> tables;  // by name_key(owner + "." + name)
  table* find(std::string_view owner, std::string_view name);
  const db_user* user_of_login(std::string_view login) const;
  const db_schema* find_schema(std::string_view name) const;
  db_schema& add_schema(std::string_view name, std::string owner = "dbo");
};

// A SQL Server authentication login.
struct server_login {
  std::string name, password;
  bool sysadmin = false;
  std::string language = "us_english";  // its default language (a name of tds_languages.h)
  bool dbcreator = false;               // a member of the dbcreator server role
  bool create_any_database = false;     // GRANT CREATE ANY DATABASE
};

// What a client's LOGIN7 carried.
struct login_record {
  std::string user, app, library, language, database;
  bool odbc = false;
};

class catalog {
 public:
  catalog();
  std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(mutex_); }
  database* find(std::string_view name);
  database& create(std::string_view name);  // 1801 when it exists
  void drop(std::string_view name);          // 3701 when it does not
  std::vector<database*> all();
  int next_object_id() { return ++object_ids_; }
  // The logins, by name_key(name); password compared exactly.
  std::map<std::string, server_login> logins;
  const server_login* check_login(std::string_view name, std::string_view password) const;
 private:
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<database>> dbs_;
  int object_ids_ = 1000;
};

}  // namespace tds
