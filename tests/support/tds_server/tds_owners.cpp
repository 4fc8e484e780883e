// Logins, database users and schemas.
#include "tests/support/tds_server/tds_owners.h"

#include <cstdlib>

namespace tds {

std::optional<principal> principal_in(const database& db, const session_state& s) {
  if (s.sysadmin || (!db.owner_login.empty() && name_key(db.owner_login) == name_key(s.user))) return principal{"dbo", "dbo"};
  if (const db_user* u = db.user_of_login(s.user)) return principal{u->name, u->default_schema};
  if (db.guest) return principal{"guest", "guest"};
  return std::nullopt;
}

bool owners_are_users(server_context& ctx) { return ctx.major_version() == 8; }

std::string default_owner(server_context& ctx, const session_state& s, const database& db) {
  principal p{s.db_user, s.default_schema};
  if (name_key(db.name) != name_key(s.database)) p = principal_in(db, s).value_or(principal{"dbo", "dbo"});
  return owners_are_users(ctx) ? p.user : p.default_schema;
}

table* resolve_table(server_context& ctx, const session_state& s, database& db, std::string_view owner, std::string_view name) {
  if (!owner.empty()) return db.find(owner, name);
  if (table* t = db.find(default_owner(ctx, s, db), name)) return t;
  return db.find("dbo", name);
}

std::string owner_for_new(server_context& ctx, const session_state& s, const database& db, std::string_view written) {
  const std::string owner = written.empty() ? default_owner(ctx, s, db) : std::string(written);
  if (owners_are_users(ctx)) {
    const std::string k = name_key(owner);
    if (k == "DBO" || (k == "GUEST" && db.guest)) return k == "DBO" ? "dbo" : "guest";
    auto it = db.users.find(k);
    if (it == db.users.end())
      raise(2760, 16, "Specified owner name '" + owner + "' either does not exist or you do not have permission to use it.");
    return it->second.name;
  }
  const db_schema* sc = db.find_schema(owner);
  if (!sc) raise(2760, 16, "The specified schema name \"" + owner + "\" either does not exist or you do not have permission to use it.");
  return sc->name;
}

namespace {
const language& official_language(const std::string& name) {
  const language* l = find_language(name);
  if (!l) raise(15033, 16, "'" + name + "' is not a valid official language name.");
  return *l;
}
}  // namespace

void create_login(catalog& cat, const session_state& s, const std::string& name, const std::string& password,
                  const std::string& default_language) {
  if (!s.sysadmin) raise(15247, 16, "User does not have permission to perform this action.");
  if (cat.logins.count(name_key(name))) raise(15025, 16, "The server principal '" + name + "' already exists.");
  const language& l = official_language(default_language);
  cat.logins[name_key(name)] = server_login{name, password, false, l.name, false};
}

void set_login_language(catalog& cat, const session_state& s, const std::string& name, const std::string& language) {
  auto it = cat.logins.find(name_key(name));
  if (!s.sysadmin || it == cat.logins.end())
    raise(15151, 16, "Cannot alter the login '" + name + "', because it does not exist or you do not have permission.");
  it->second.language = official_language(language).name;
}

void create_user(catalog& cat, database& db, const std::string& name, const std::optional<std::string>& login,
                 const std::optional<std::string>& default_schema) {
  const std::string k = name_key(name);
  if (k == "DBO" || k == "GUEST" || k == "SYS" || k == "INFORMATION_SCHEMA" || db.users.count(k))
    raise(15023, 16, "User, group, or role '" + name + "' already exists in the current database.");
  // Without FOR LOGIN the user stands for the login of its own name.
  const std::string login_name = login.value_or(name);
  auto it = cat.logins.find(name_key(login_name));
  if (it == cat.logins.end()) raise(15007, 16, "'" + login_name + "' is not a valid login or you do not have permission.");
  if (db.user_of_login(login_name) || (!db.owner_login.empty() && name_key(db.owner_login) == name_key(login_name)))
    raise(15063, 16, "The login already has an account under a different user name.");
  db.users[k] = db_user{name, it->second.name, default_schema.value_or("dbo")};
}

void create_schema(database& db, const std::string& name, const std::optional<std::string>& authorization) {
  if (db.find_schema(name)) raise(2714, 16, "There is already an object named '" + name + "' in the database.");
  std::string owner = "dbo";
  if (authorization && name_key(*authorization) != "DBO") {
    auto it = db.users.find(name_key(*authorization));
    if (it == db.users.end())
      raise(15151, 16, "Cannot find the user '" + *authorization + "', because it does not exist or you do not have permission.");
    owner = it->second.name;
  }
  db.add_schema(name, owner);
}

}  // namespace tds
