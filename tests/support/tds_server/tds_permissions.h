// The permissions the test server checks, as SQL Server checks them: who may
// create, change and drop tables (CREATE TABLE in the database and ALTER on
// the schema, or ownership, db_owner, db_ddladmin, dbo, sysadmin) and create
// and drop databases (sysadmin, dbcreator, CREATE ANY DATABASE, CREATE
// DATABASE in master, the database's owner). GRANT, REVOKE and DENY of
// database and schema permissions, fixed role membership, and the functions
// that answer them (HAS_PERMS_BY_NAME, IS_MEMBER, IS_SRVROLEMEMBER). Under
// SQL Server 2000 the permissions are statement permissions and there are no
// schemas: a user creates tables of its own name, db_owner and db_ddladmin
// those of any user. Nothing else is checked: reading and writing rows is open
// to every user of a database.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/tds_server/tds_sql.h"

namespace tds {

// The checks, each raising SQL Server's error when the session may not
// (CREATE TABLE with an empty owner: the database permission alone).
void check_create_table(server_context& ctx, const session_state& s, const database& db, const std::string& owner);
enum class table_change { drop, alter, truncate, index };
// `written` names the table as the statement did.
void check_table_change(server_context& ctx, const session_state& s, const database& db, const table& t,
                        const std::string& written, table_change what);
void check_create_database(server_context& ctx, const session_state& s);
void check_drop_database(server_context& ctx, const session_state& s, const database& db, const std::string& written);

// GRANT / REVOKE / DENY: permissions ("CREATE TABLE", "ALTER"...) on the
// database or on SCHEMA::name (`schema` empty: the database; on master the
// server permission CREATE ANY DATABASE goes to logins).
enum class grant_kind { grant, revoke, deny };
void grant(server_context& ctx, const session_state& s, database& db, grant_kind kind,
           const std::vector<std::string>& permissions, const std::string& schema, const std::vector<std::string>& principals);

// sp_addrolemember / ALTER ROLE ... ADD MEMBER, sp_addsrvrolemember / ALTER SERVER ROLE ... ADD MEMBER.
// `procedure_errors` chooses the system procedures' messages over the statements'.
void add_role_member(server_context& ctx, const session_state& s, database& db, const std::string& role,
                     const std::string& member, bool procedure_errors);
void add_server_role_member(server_context& ctx, const session_state& s, const std::string& role, const std::string& login,
                            bool procedure_errors);

// HAS_PERMS_BY_NAME(securable, class, permission): 1 or 0; nullopt (NULL) when the securable is none.
std::optional<int> has_perms_by_name(server_context& ctx, const session_state& s, const std::optional<std::string>& securable,
                                     const std::optional<std::string>& securable_class, const std::string& permission);
// IS_MEMBER('db_owner' ...) in the current database, IS_SRVROLEMEMBER('dbcreator' ...): nullopt for no such role.
std::optional<int> is_member(server_context& ctx, const session_state& s, const std::string& role);
std::optional<int> is_server_role_member(server_context& ctx, const session_state& s, const std::string& role);

}  // namespace tds
