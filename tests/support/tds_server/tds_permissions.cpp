// Permissions: who may define tables and databases.
#include "tests/support/tds_server/tds_permissions.h"

#include "tests/support/tds_server/tds_owners.h"

namespace tds {

namespace {

const char* const database_roles[] = {"db_owner",          "db_accessadmin",   "db_securityadmin", "db_ddladmin",
                                      "db_backupoperator", "db_datareader",    "db_datawriter",    "db_denydatareader",
                                      "db_denydatawriter"};
const char* const server_roles[] = {"sysadmin", "serveradmin", "securityadmin", "processadmin", "setupadmin",
                                    "bulkadmin", "diskadmin", "dbcreator"};

const server_login* login_of(server_context& ctx, const session_state& s) {
  auto it = ctx.cat.logins.find(name_key(s.user));
  return it == ctx.cat.logins.end() ? nullptr : &it->second;
}

// The session's user in db ("dbo" for sysadmins and the database's owner).
std::string user_in(const database& db, const session_state& s) {
  const auto p = principal_in(db, s);
  return p ? p->user : "";
}

bool in_role(const database& db, const std::string& user, const char* role) {
  auto it = db.role_members.find(name_key(role));
  return it != db.role_members.end() && it->second.count(name_key(user));
}

bool is_dbo(const database& db, const session_state& s) { return name_key(user_in(db, s)) == "DBO"; }
bool owner_like(const database& db, const session_state& s) {
  const std::string u = user_in(db, s);
  return name_key(u) == "DBO" || in_role(db, u, "db_owner");
}
bool ddl_admin(const database& db, const session_state& s) {
  return owner_like(db, s) || in_role(db, user_in(db, s), "db_ddladmin");
}

std::string permission_key(const std::string& securable, const std::string& grantee, const std::string& permission) {
  return name_key(securable + "|" + grantee + "|" + permission);
}

// GRANT true, DENY false, neither nullopt.
std::optional<bool> granted(const database& db, const std::string& securable, const std::string& user, const std::string& permission) {
  auto it = db.permissions.find(permission_key(securable, user, permission));
  if (it == db.permissions.end()) return std::nullopt;
  return it->second;
}

// A permission the user holds: granted and not denied (dbo is never denied).
bool holds(const database& db, const session_state& s, const std::string& securable, const std::string& permission) {
  if (is_dbo(db, s)) return true;
  const std::string u = user_in(db, s);
  if (u.empty()) return false;
  const auto g = granted(db, securable, u, permission);
  return g.value_or(false);
}

bool denied(const database& db, const session_state& s, const std::string& securable, const std::string& permission) {
  if (is_dbo(db, s)) return false;
  const auto g = granted(db, securable, user_in(db, s), permission);
  return g && !*g;
}

// ALTER on a schema (2005 on) or, under SQL Server 2000, being the owner.
bool alters_owner(server_context& ctx, const database& db, const session_state& s, const std::string& owner) {
  if (ddl_admin(db, s) && !denied(db, s, "SCHEMA::" + owner, "ALTER")) return true;
  const std::string u = user_in(db, s);
  if (owners_are_users(ctx)) return name_key(u) == name_key(owner);
  const db_schema* sc = db.find_schema(owner);
  if (!sc) return false;
  if (denied(db, s, "SCHEMA::" + sc->name, "ALTER")) return false;
  return name_key(sc->owner) == name_key(u) || holds(db, s, "SCHEMA::" + sc->name, "ALTER") ||
         holds(db, s, "SCHEMA::" + sc->name, "CONTROL");
}

// The server permission CREATE ANY DATABASE, which sysadmin and dbcreator hold.
bool creates_any_database(server_context& ctx, const session_state& s) {
  if (s.sysadmin) return true;
  const server_login* l = login_of(ctx, s);
  return l && (l->dbcreator || l->create_any_database);
}

// CREATE DATABASE: the server permission, or the database permission of that
// name granted in master (which does not give the server one).
bool creates_databases(server_context& ctx, const session_state& s) {
  if (creates_any_database(ctx, s)) return true;
  const database* master = ctx.cat.find("master");
  return master && holds(*master, s, "", "CREATE DATABASE");
}

std::string canonical_role(const std::string& role, const char* const* roles, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (name_key(roles[i]) == name_key(role)) return roles[i];
  }
  return "";
}

}  // namespace

void check_create_table(server_context& ctx, const session_state& s, const database& db, const std::string& owner) {
  const bool may_create = ddl_admin(db, s) ? !denied(db, s, "", "CREATE TABLE") : holds(db, s, "", "CREATE TABLE");
  if (!may_create) raise(262, 14, "CREATE TABLE permission denied in database '" + db.name + "'.");
  if (!owner.empty() && !alters_owner(ctx, db, s, owner)) {
    if (owners_are_users(ctx))
      raise(2760, 16, "Specified owner name '" + owner + "' either does not exist or you do not have permission to use it.");
    raise(2760, 16, "The specified schema name \"" + owner + "\" either does not exist or you do not have permission to use it.");
  }
}

void check_table_change(server_context& ctx, const session_state& s, const database& db, const table& t,
                        const std::string& written, table_change what) {
  if (alters_owner(ctx, db, s, t.owner)) return;
  switch (what) {
    case table_change::drop:
      raise(3701, 11, "Cannot drop the table '" + written + "', because it does not exist or you do not have permission.");
    case table_change::alter:
      raise(4902, 16, "Cannot find the object \"" + written + "\" because it does not exist or you do not have permissions.");
    case table_change::truncate:
      raise(4701, 16, "Cannot find the object \"" + written + "\" because it does not exist or you do not have permissions.");
    case table_change::index:
      raise(1088, 16, "Cannot find the object \"" + written + "\" because it does not exist or you do not have permissions.");
  }
}

void check_create_database(server_context& ctx, const session_state& s) {
  if (!creates_databases(ctx, s)) raise(262, 14, "CREATE DATABASE permission denied in database 'master'.");
}

void check_drop_database(server_context& ctx, const session_state& s, const database& db, const std::string& written) {
  const server_login* l = login_of(ctx, s);
  if (s.sysadmin || (l && l->dbcreator) || owner_like(db, s)) return;
  raise(3701, 11, "Cannot drop the database '" + written + "', because it does not exist or you do not have permission.");
}

void grant(server_context& ctx, const session_state& s, database& db, grant_kind kind,
           const std::vector<std::string>& permissions, const std::string& schema, const std::vector<std::string>& principals) {
  const std::string u = user_in(db, s);
  if (!owner_like(db, s) && !in_role(db, u, "db_securityadmin")) raise(4613, 16, "Grantor does not have GRANT permission.");
  std::string securable;
  if (!schema.empty()) {
    const db_schema* sc = db.find_schema(schema);
    if (!sc || owners_are_users(ctx))
      raise(15151, 16, "Cannot find the schema '" + schema + "', because it does not exist or you do not have permission.");
    securable = "SCHEMA::" + sc->name;
  }
  for (const auto& p : principals) {
    for (const auto& perm : permissions) {
      // A server permission in master goes to a login.
      if (name_key(perm) == "CREATE ANY DATABASE") {
        auto it = ctx.cat.logins.find(name_key(p));
        if (!s.sysadmin) raise(4613, 16, "Grantor does not have GRANT permission.");
        if (it == ctx.cat.logins.end())
          raise(15151, 16, "Cannot find the login '" + p + "', because it does not exist or you do not have permission.");
        it->second.create_any_database = kind == grant_kind::grant;
        continue;
      }
      const bool known = name_key(p) == "DBO" || name_key(p) == "GUEST" || name_key(p) == "PUBLIC" || db.users.count(name_key(p));
      if (!known) raise(15151, 16, "Cannot find the user '" + p + "', because it does not exist or you do not have permission.");
      const std::string key = permission_key(securable, p, perm);
      if (kind == grant_kind::revoke) db.permissions.erase(key);
      else db.permissions[key] = kind == grant_kind::grant;
    }
  }
}

void add_role_member(server_context& ctx, const session_state& s, database& db, const std::string& role,
                     const std::string& member, bool procedure_errors) {
  (void)ctx;
  if (!owner_like(db, s)) raise(15247, 16, "User does not have permission to perform this action.");
  const std::string r = canonical_role(role, database_roles, std::size(database_roles));
  if (r.empty()) {
    if (procedure_errors) raise(15014, 16, "The role '" + role + "' does not exist in the current database.");
    raise(15151, 16, "Cannot alter the role '" + role + "', because it does not exist or you do not have permission.");
  }
  if (!db.users.count(name_key(member))) {
    if (procedure_errors) raise(15410, 11, "User or role '" + member + "' does not exist in this database.");
    raise(15151, 16, "Cannot add the principal '" + member + "', because it does not exist or you do not have permission.");
  }
  db.role_members[name_key(r)].insert(name_key(member));
}

void add_server_role_member(server_context& ctx, const session_state& s, const std::string& role, const std::string& login,
                            bool procedure_errors) {
  if (!s.sysadmin) raise(15247, 16, "User does not have permission to perform this action.");
  const std::string r = canonical_role(role, server_roles, std::size(server_roles));
  if (r.empty()) {
    if (procedure_errors) raise(15402, 11, "'" + role + "' is not a fixed server role.");
    raise(15151, 16, "Cannot alter the server role '" + role + "', because it does not exist or you do not have permission.");
  }
  auto it = ctx.cat.logins.find(name_key(login));
  if (it == ctx.cat.logins.end()) {
    if (procedure_errors) raise(15007, 16, "'" + login + "' is not a valid login or you do not have permission.");
    raise(15151, 16, "Cannot add the principal '" + login + "', because it does not exist or you do not have permission.");
  }
  if (r == "sysadmin") it->second.sysadmin = true;
  if (r == "dbcreator") it->second.dbcreator = true;
}

std::optional<int> has_perms_by_name(server_context& ctx, const session_state& s, const std::optional<std::string>& securable,
                                     const std::optional<std::string>& securable_class, const std::string& permission) {
  const std::string cls = name_key(securable_class.value_or("SERVER"));
  const std::string perm = name_key(permission);
  if (cls == "SERVER") {
    if (perm == "CREATE ANY DATABASE") return creates_any_database(ctx, s) ? 1 : 0;
    return s.sysadmin ? 1 : 0;
  }
  database* db = ctx.cat.find(cls == "DATABASE" ? securable.value_or(s.database) : s.database);
  if (!db || !principal_in(*db, s)) return std::nullopt;
  if (cls == "DATABASE") {
    if (perm == "CREATE TABLE") return (ddl_admin(*db, s) ? !denied(*db, s, "", perm) : holds(*db, s, "", perm)) ? 1 : 0;
    if (perm == "CONNECT") return 1;
    return owner_like(*db, s) || holds(*db, s, "", perm) ? 1 : 0;
  }
  if (cls == "SCHEMA") {
    if (!securable || !db->find_schema(*securable) || owners_are_users(ctx)) return std::nullopt;
    if (perm == "ALTER" || perm == "CONTROL") return alters_owner(ctx, *db, s, *securable) ? 1 : 0;
    return 1;
  }
  if (cls == "OBJECT") {
    if (!securable) return std::nullopt;
    // "[owner].[name]" or "owner.name" or "name".
    std::string text = *securable, owner, name;
    auto strip = [](std::string p) {
      if (p.size() >= 2 && p.front() == '[' && p.back() == ']') p = p.substr(1, p.size() - 2);
      return p;
    };
    const auto dot = text.find("].[") != std::string::npos ? text.find("].[") + 1 : text.find('.');
    if (dot == std::string::npos) name = strip(text);
    else { owner = strip(text.substr(0, dot)); name = strip(text.substr(dot + 1)); }
    table* t = resolve_table(ctx, s, *db, owner, name);
    if (!t) return std::nullopt;
    if (perm == "ALTER" || perm == "CONTROL") return alters_owner(ctx, *db, s, t->owner) ? 1 : 0;
    return 1;  // reading and writing rows is not checked
  }
  return std::nullopt;
}

std::optional<int> is_member(server_context& ctx, const session_state& s, const std::string& role) {
  const std::string r = canonical_role(role, database_roles, std::size(database_roles));
  if (name_key(role) == "PUBLIC") return 1;
  if (r.empty()) return std::nullopt;
  const database* db = ctx.cat.find(s.database);
  if (!db) return 0;
  if (r == "db_owner" && is_dbo(*db, s)) return 1;
  return in_role(*db, user_in(*db, s), r.c_str()) ? 1 : 0;
}

std::optional<int> is_server_role_member(server_context& ctx, const session_state& s, const std::string& role) {
  const std::string r = canonical_role(role, server_roles, std::size(server_roles));
  if (r.empty()) return std::nullopt;
  if (r == "sysadmin") return s.sysadmin ? 1 : 0;
  const server_login* l = login_of(ctx, s);
  return r == "dbcreator" && l && l->dbcreator ? 1 : 0;
}

}  // namespace tds
