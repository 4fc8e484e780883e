#include "SQL/sql_engi.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <errmsg.h>
#include <mysqld_error.h>

#include "SQL/sql_db.h"
#include "SQL/sql_util.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

constexpr unsigned connect_timeout_seconds = 10;
constexpr unsigned long default_lock_timeout_seconds = 600;

// Flags of a server's sql_mode that change how the statements' literals, names or
// the table texts read back: the compatibility bundles and what they bring.
const char* const session_mode_removed[] = {
    "NO_BACKSLASH_ESCAPES", "ANSI_QUOTES", "EMPTY_STRING_IS_NULL", "ANSI", "ORACLE", "MSSQL",
    "DB2", "POSTGRESQL", "MAXDB", "MYSQL323", "MYSQL40", "NO_KEY_OPTIONS", "NO_TABLE_OPTIONS",
    "NO_FIELD_OPTIONS"};

std::string narrow_message(MYSQL* connection) {
  const char* text = mysql_error(connection);
  return text ? text : std::string();
}

}  // namespace

// ---------------------------------------------------------------- exceptions

sql_exception::sql_exception() : sql_exception(sql_engine::instance().connection()) {}

sql_exception::sql_exception(MYSQL* connection)
    : sql_exception(narrow_message(connection), mysql_errno(connection)) {}

sql_exception::sql_exception(const std::string& message, unsigned error_number)
    : tk_exception(message, static_cast<int>(0x400000u | (error_number & 0xFFFFu)), 0) {}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception(
          "The program does not support authentication protocol requested by server. See "
          "'Troubleshooting' article of the product documentation.",
          1) {}

// ---------------------------------------------------------------- engine

sql_engine::sql_engine() {
  try {
    initialize();
  } catch (...) {
    mysql_close(&m_connection);
    throw;  // the singleton base is unwound with the object
  }
}

sql_engine::~sql_engine() {
  if (m_pending) {
    // Nobody is left to handle the outcome; read it so the connection stays usable.
    m_pending = nullptr;
    mysql_read_query_result(&m_connection);
  }
  if (m_connected) {
    if (mysql_query(&m_connection, "SET FOREIGN_KEY_CHECKS = 1") != 0)
      tk_trace(2, "Cannot turn ON foreign key check: %s", mysql_error(&m_connection));
  }
  mysql_close(&m_connection);
}

void sql_engine::initialize() {
  tk_trace(1, "sql_engine::initialize");
  if (!mysql_init(&m_connection)) throw tk_mail_assertion("sql_engi", 40);
  tk_trace(1, "sql_engine::initialize - 1");
  mysql_options(&m_connection, MYSQL_READ_DEFAULT_GROUP, "Orvell MySQL Lib");
  tk_trace(1, "sql_engine::initialize - 2");
  unsigned timeout = connect_timeout_seconds;
  mysql_options(&m_connection, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  // TLS wherever the server offers it (a server without it is still reached in
  // plain); the option files may ask more, a verified certificate above all.
  my_bool tls = 1;
  mysql_optionsv(&m_connection, MYSQL_OPT_SSL_ENFORCE, &tls);
  tk_trace(1, "sql_engine::initialize - END");
}

bool sql_engine::parse_version(const char* text, unsigned& word) {
  int major = 0, minor = 0, patch = 0;
  if (!text || std::sscanf(text, "%d.%d.%d", &major, &minor, &patch) < 3) return false;
  word = static_cast<unsigned>(major) << 16 | static_cast<unsigned>(minor) << 8 |
         static_cast<unsigned>(patch);
  return true;
}

std::string sql_engine::session_mode(const std::string& server_mode) {
  static const char* const added[] = {"STRICT_TRANS_TABLES", "STRICT_ALL_TABLES", "NO_AUTO_VALUE_ON_ZERO"};
  std::string mode;
  for (const std::string& flag : tk_split(server_mode, ',')) {
    const std::string name = tk_trim(flag);
    bool removed = name.empty();
    for (const char* other : session_mode_removed) removed = removed || tk_compare_nocase(name, other) == 0;
    for (const char* other : added) removed = removed || tk_compare_nocase(name, other) == 0;
    if (removed) continue;
    mode += name;
    mode += ',';
  }
  return mode + "STRICT_TRANS_TABLES,STRICT_ALL_TABLES,NO_AUTO_VALUE_ON_ZERO";
}

unsigned long sql_engine::lock_timeout_limit() {
  const char* text = std::getenv("ORV_MYSQL_LOCK_TIMEOUT");
  if (!text || !*text) return default_lock_timeout_seconds;
  char* end = nullptr;
  errno = 0;
  const unsigned long long seconds = std::strtoull(text, &end, 10);
  if (*end || errno || seconds == 0 || seconds > 31536000 || !std::isdigit(static_cast<unsigned char>(*text))) {
    tk_trace(2, "ORV_MYSQL_LOCK_TIMEOUT=%s is no number of seconds: %lu s it is", text,
             default_lock_timeout_seconds);
    return default_lock_timeout_seconds;
  }
  return static_cast<unsigned long>(seconds);
}

// No wait of the session's own is unbounded: MariaDB's lock_wait_timeout is a
// day by default, MySQL's a year.
void sql_engine::bound_lock_waits() {
  const unsigned long limit = lock_timeout_limit();
  for (const char* name : {"lock_wait_timeout", "innodb_lock_wait_timeout"}) {
    std::string value;
    if (!query_value((std::string("SELECT @@SESSION.") + name).c_str(), value)) {
      // Servers before 5.5 know no lock_wait_timeout; one without InnoDB no other.
      tk_trace(2, "Cannot read %s: %s", name, mysql_error(&m_connection));
      continue;
    }
    const unsigned long long now = std::strtoull(value.c_str(), nullptr, 10);
    if (now <= limit) continue;
    const std::string statement = std::string("SET SESSION ") + name + " = " + std::to_string(limit);
    tk_trace(2, "Session: %s", statement.c_str());
    send_or_trace(statement.c_str(), "Cannot bound the lock waits: %s");
  }
}

std::vector<std::string> sql_engine::session_statements(unsigned version,
                                                        const std::string& server_mode) {
  // Rows must stay when the server's default is not to commit them.
  std::vector<std::string> statements{"SET AUTOCOMMIT = 1"};
  if (version >= sql_version::v4_1_1)
    statements.push_back("SET SESSION sql_mode = '" + session_mode(server_mode) + "'");
  return statements;
}

bool sql_engine::query_value(const char* statement, std::string& value, int column) {
  if (!send_utf8(statement)) return false;
  MYSQL_RES* result = mysql_store_result(&m_connection);
  if (!result) return false;
  MYSQL_ROW row = mysql_fetch_row(result);
  const bool found = row && static_cast<int>(mysql_num_fields(result)) > column && row[column];
  if (found) value = row[column];
  mysql_free_result(result);
  return found;
}

void sql_engine::set_up_session() {
  std::string mode;
  unsigned generation = m_server_version;
  if (generation >= sql_version::v4_1_1 && !query_value("SELECT @@SESSION.sql_mode", mode)) {
    // Without the server's own flags no mode is set: its strict modes would be lost.
    tk_trace(2, "Cannot read the session sql_mode: %s", mysql_error(&m_connection));
    generation = sql_version::v4_1_0;
  }
  for (const std::string& statement : session_statements(generation, mode)) {
    tk_trace(2, "Session: %s", statement.c_str());
    send_or_trace(statement.c_str(), "Cannot set up the session: %s");
  }
  bound_lock_waits();
  std::string packet;
  m_max_statement = 0;
  if (query_value("SHOW VARIABLES LIKE 'max_allowed_packet'", packet, 1)) {
    m_max_statement = static_cast<size_t>(std::strtoull(packet.c_str(), nullptr, 10));
    tk_trace(2, "max_allowed_packet: %s", packet.c_str());
  } else {
    tk_trace(2, "Cannot read max_allowed_packet: %s", mysql_error(&m_connection));
  }
  // Servers before InnoDB's setting (MySQL 5.7.9, MariaDB 10.1) know no such variable.
  m_default_row_format.clear();
  if (query_value("SELECT @@innodb_default_row_format", m_default_row_format)) {
    for (char& c : m_default_row_format) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    tk_trace(2, "innodb_default_row_format: %s", m_default_row_format.c_str());
  } else {
    tk_trace(2, "Cannot read innodb_default_row_format: %s", mysql_error(&m_connection));
  }
}

void sql_engine::send_or_trace(const char* statement, const char* failure_format) {
  if (!send_utf8(statement)) tk_trace(2, failure_format, mysql_error(&m_connection));
}

bool sql_engine::real_connect(const std::string& host, const std::string& user,
                              const std::string& password, unsigned port) {
  // The options stay after a failure: what the option files asked can then be
  // read, and a second attempt made on the same handle.
  return mysql_real_connect(&m_connection, host.c_str(), user.c_str(), password.c_str(), nullptr, port,
                            nullptr, CLIENT_REMEMBER_OPTIONS) != nullptr;
}

bool sql_engine::tls_required() {
  my_bool verify = 0;
  mysql_get_optionv(&m_connection, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verify);
  const char* fingerprint = nullptr;
  const char* fingerprints = nullptr;
  mysql_get_optionv(&m_connection, MARIADB_OPT_TLS_PEER_FP, &fingerprint);
  mysql_get_optionv(&m_connection, MARIADB_OPT_TLS_PEER_FP_LIST, &fingerprints);
  return verify || (fingerprint && *fingerprint) || (fingerprints && *fingerprints);
}

bool sql_engine::is_connection_lost(unsigned error) {
  // A session another one KILLed while it ran a statement hears 1927 before the
  // connection closes.
  return error == CR_SERVER_GONE_ERROR || error == CR_SERVER_LOST || error == ER_CONNECTION_KILLED;
}

bool sql_engine::is_connection_lost(const sql_exception& error) {
  return is_connection_lost(static_cast<unsigned>(error.get_code()) & 0xFFFFu);
}

void sql_engine::connect(const std::string& host, const std::string& user,
                         const std::string& password, unsigned port) {
  // The password never goes to the log.
  tk_trace(2, "sql_engine::connect(%s,%s,%s)", host.c_str(), user.c_str(), "***");
  if (m_connected) {
    tk_trace(2, "Connection was established already - disconnecting...");
    settle();
    m_connected = false;
  }
  // Every attempt starts from a new handle: the option files are read again and
  // nothing of an earlier attempt (its options, a connection without TLS) stays.
  mysql_close(&m_connection);
  initialize();
  m_host = host;
  m_user = user;
  m_password = password;
  m_port = port;
  m_database.clear();
  tk_trace(3, "Connecting to MySQL server...");
  if (!real_connect(host, user, password, port)) {
    unsigned error = mysql_errno(&m_connection);
    std::string message = narrow_message(&m_connection);
    // TLS only asked for, not required: a handshake this system's TLS library
    // cannot complete (a protocol version it refuses) leaves the plain road.
    if (error == CR_SSL_CONNECTION_ERROR && !tls_required()) {
      tk_trace(3, "The TLS handshake failed (%s): connecting again without TLS", message.c_str());
      mysql_ssl_set(&m_connection, nullptr, nullptr, nullptr, nullptr, nullptr);
      my_bool tls = 0;
      mysql_optionsv(&m_connection, MYSQL_OPT_SSL_ENFORCE, &tls);
      if (!real_connect(host, user, password, port)) {
        // Both reasons: the server may require what failed.
        message += " (connecting without TLS: " + narrow_message(&m_connection) + ")";
        throw sql_exception(message, error);
      }
    } else {
      // This client library reports a refused TCP connection as 2002; the other
      // clients, and the messages the user is shown, know it as 2003.
      if (error == CR_CONNECTION_ERROR && !host.empty() && host != "localhost")
        error = CR_CONN_HOST_ERROR;
      throw sql_exception(message, error);
    }
  }
  m_connected = true;
  m_thread_id = mysql_thread_id(&m_connection);
  if (const char* cipher = mysql_get_ssl_cipher(&m_connection))
    tk_trace(2, "TLS cipher: %s", cipher);
  else
    tk_trace(2, "The connection is not encrypted");

  const char* info = mysql_get_server_info(&m_connection);
  tk_trace(3, "Setting UTF-8 collation...");
  unsigned version = 0;
  const bool known = info && *info && parse_version(info, version);
  // Servers with utf8mb4 get it, so that characters outside the BMP survive.
  const char* names = known && version >= sql_version::v5_5_3 ? "SET NAMES utf8mb4"
                                                               : "SET NAMES UTF8";
  if (!send_utf8(names)) {
    tk_trace(3, "Failed");
    tk_trace(2, "Cannot set UTF-8 collation: %s", mysql_error(&m_connection));
  }
  if (!info || !*info) return;

  tk_trace(2, "Got MySQL server version: %s", info);
  if (!known) {
    tk_trace(3, "Invalid MySQL version: %s", info);
    throw tk_mail_assertion("sql_engi", 109);
  }
  m_server_version = version;
  tk_trace(1, "Hex version: %08X", m_server_version);
  if (m_server_version >= sql_version::v3_23_44) m_fk_supported = 1;
  if (m_server_version == sql_version::v4_1_0 && !password.empty())
    throw sql_auth_not_supported_exception();
  send_or_trace("SET FOREIGN_KEY_CHECKS = 0", "Cannot turn off foreign key check: %s");
  set_up_session();
}

void sql_engine::reconnect() {
  const std::string database = m_database;
  tk_trace(3, "Connecting to the MySQL server again...");
  connect(m_host, m_user, m_password, m_port);
  if (!database.empty() && !select_db(database)) throw sql_exception(&m_connection);
}

bool sql_engine::end_session(unsigned long thread_id) {
  tk_trace(2, "sql_engine::end_session(%lu)", thread_id);
  const std::string kill = "KILL " + std::to_string(thread_id);
  // A session that is gone already is an unknown thread.
  if (!send_utf8(kill) && mysql_errno(&m_connection) != ER_NO_SUCH_THREAD) {
    tk_trace(2, "Cannot end session %lu: %s", thread_id, mysql_error(&m_connection));
    return false;
  }
  // Until then it may still be writing, or taking back, its last statement.
  const std::string listed =
      "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + std::to_string(thread_id);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(connect_timeout_seconds);
  for (;;) {
    std::string count;
    if (!query_value(listed.c_str(), count)) {
      tk_trace(2, "Cannot read the process list: %s", mysql_error(&m_connection));
      return false;
    }
    if (count == "0") return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

std::wstring sql_engine::replace_lost_session() {
  if (!m_connected) return L"there is no connection to make again";
  const unsigned long lost = m_thread_id;
  try {
    reconnect();
  } catch (const sql_exception& e) {
    return L"the connection cannot be made again: " + tk_from_utf8(e.what());
  }
  if (!end_session(lost)) return L"the session that was lost did not end";
  return {};
}

std::wstring sql_engine::database_after_loss(const std::wstring& name) {
  const std::wstring database = L"database '" + name + L"'";
  std::wstring why = replace_lost_session();
  if (why.empty()) {
    std::string tables;
    if (select_db(tk_to_utf8(name))) {
      if (query_value("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()", tables))
        return L"The " + database + L" exists and holds " +
               count_text(std::strtoull(tables.c_str(), nullptr, 10), L"table") + L".";
      why = L"its tables cannot be counted: " + tk_from_utf8(narrow_message(&m_connection));
    } else if (mysql_errno(&m_connection) == ER_BAD_DB_ERROR) {
      return L"No " + database + L" exists now.";
    } else {
      why = tk_from_utf8(narrow_message(&m_connection));
    }
  }
  return L"Whether " + database + L" exists now cannot be told: " + why + L".";
}

std::wstring sql_engine::quote_name(const std::wstring& name) const {
  if (m_server_version < sql_version::v4_1_0) return name;
  std::wstring quoted;
  quoted.reserve(name.size() + 2);
  quoted += L'`';
  for (wchar_t c : name) {
    if (c == L'`') quoted += L'`';
    quoted += c;
  }
  quoted += L'`';
  return quoted;
}

std::wstring sql_engine::charset() const {
  if (m_server_version >= sql_version::v5_5_3) return L"utf8mb4";
  if (m_server_version >= sql_version::v4_1_0) return L"utf8";
  return {};
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::wstring& name) {
  tk_wtrace(2, L"sql_engine::create_db (%s)", name.c_str());
  tk_wtrace(3, L"Creating MySQL database '%s'", name.c_str());
  execute(L"CREATE DATABASE " + quote_name(name));
  return open_db(name, UDB_MODE_CREATED, {});
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::wstring& name, unsigned mode, const std::wstring&) {
  tk_wtrace(2, L"sql_engine::open_db (%s)", name.c_str());
  tk_wtrace(3, L"Opening MySQL database '%s'", name.c_str());
  settle();
  if (!select_db(tk_to_utf8(name))) throw sql_exception();
  return std::make_unique<sql_database>(name, &m_connection, mode);
}

bool sql_engine::select_db(const std::string& name) {
  if (mysql_select_db(&m_connection, name.c_str()) != 0) return false;
  m_database = name;
  return true;
}

// The first question of a run: a connection the server or a gateway closed while
// it was idle is made again, once, before anything is written.
bool sql_engine::is_db_exist(const std::wstring& name) {
  tk_wtrace(1, L"sql_engine::is_db_exist(%s)", name.c_str());
  settle();
  const std::string database = tk_to_utf8(name);
  if (select_db(database)) return true;
  if (m_connected && is_connection_lost(mysql_errno(&m_connection))) {
    tk_trace(3, "The connection was closed: %s", mysql_error(&m_connection));
    connect(m_host, m_user, m_password, m_port);
    if (select_db(database)) return true;
  }
  if (mysql_errno(&m_connection) == ER_BAD_DB_ERROR) return false;
  throw sql_exception(&m_connection);
}

void sql_engine::db_delete(const std::wstring& name) {
  tk_wtrace(2, L"sql_engine::db_delete(%s)", name.c_str());
  tk_wtrace(3, L"Deleting MySQL database '%s'", name.c_str());
  send_or_trace("SET FOREIGN_KEY_CHECKS = 0", "Cannot turn off foreign key check: %s");
  const bool selected = tk_to_utf8(name) == m_database;
  try {
    execute(L"DROP DATABASE " + quote_name(name));
  } catch (const sql_exception& e) {
    if (!is_connection_lost(e)) throw;
    // The new connection does not select it: it may be gone.
    if (selected) m_database.clear();
    throw tk_connection_lost(L"The connection to the MySQL server was lost while dropping database '" + name +
                             L"' (" + tk_from_utf8(e.what()) + L"). " + database_after_loss(name));
  }
  if (selected) m_database.clear();
  send_or_trace("SET FOREIGN_KEY_CHECKS = 1", "Cannot turn on foreign key check: %s");
}

bool sql_engine::send(const std::wstring& statement) { return send_utf8(tk_to_utf8(statement)); }

bool sql_engine::send_utf8(const std::string& statement) {
  settle();
  return mysql_real_query(&m_connection, statement.data(), statement.size()) == 0;
}

void sql_engine::execute(const std::wstring& statement) {
  if (!send(statement)) throw sql_exception(&m_connection);
  // A statement run for its effect: drop any rows it returned.
  if (MYSQL_RES* result = mysql_store_result(&m_connection)) mysql_free_result(result);
}

bool sql_engine::send_deferred(const std::string& statement, sql_pending_result* owner) {
  settle();
  if (mysql_send_query(&m_connection, statement.data(), statement.size()) != 0) return false;
  m_pending = owner;
  return true;
}

bool sql_engine::read_result() { return mysql_read_query_result(&m_connection) == 0; }

void sql_engine::settle() {
  if (!m_pending) return;
  sql_pending_result* owner = m_pending;
  m_pending = nullptr;
  owner->settle();
}

void sql_engine::forget(sql_pending_result* owner) {
  if (m_pending != owner) return;
  m_pending = nullptr;
  mysql_read_query_result(&m_connection);
}
