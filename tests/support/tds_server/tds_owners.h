// Logins, database users and schemas of the test server: who a session's login
// is inside a database, where its unqualified names resolve, and the CREATE
// LOGIN / USER / SCHEMA statements (permissions: tds_permissions.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tests/support/tds_server/tds_sql.h"

namespace tds {

struct principal {
  std::string user;            // dbo for sysadmins and the database's creator
  std::string default_schema;  // dbo unless the user was given another one
};

// The user the session's login is in db: dbo for sysadmins and the creator, the
// user made for the login, guest where the guest user is enabled; none else.
std::optional<principal> principal_in(const database& db, const session_state& s);

// Whether the server presents itself as SQL Server 2000 (by @@VERSION): objects
// are owned by users then, and there are no schemas.
bool owners_are_users(server_context& ctx);

// The owner (schema) the session's unqualified names go to first in db.
std::string default_owner(server_context& ctx, const session_state& s, const database& db);

// [owner.]name as SQL Server resolves it: with an owner exactly, without one in
// the default owner first, then in dbo. Null when there is none.
table* resolve_table(server_context& ctx, const session_state& s, database& db, std::string_view owner, std::string_view name);

// The owner a new object of the session goes to (written or default); 2760
// when that schema (on SQL Server 2000: user) does not exist.
std::string owner_for_new(server_context& ctx, const session_state& s, const database& db, std::string_view written);

// The statements (under the catalog's lock).
void create_login(catalog& cat, const session_state& s, const std::string& name, const std::string& password,
                  const std::string& default_language = "us_english");
// ALTER LOGIN ... WITH DEFAULT_LANGUAGE = x.
void set_login_language(catalog& cat, const session_state& s, const std::string& name, const std::string& language);
void create_user(catalog& cat, database& db, const std::string& name, const std::optional<std::string>& login,
                 const std::optional<std::string>& default_schema);
void create_schema(database& db, const std::string& name, const std::optional<std::string>& authorization);

}  // namespace tds
