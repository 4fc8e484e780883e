// The MySQL back end's engine: the one client connection to a MySQL server,
// the server's version word, databases on it, and the exceptions of the back end.
#pragma once

#include <mysql.h>

#include <memory>
#include <string>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_singl.h"
#include "UDB/udb_db.h"
#include "UDB/udb_vali.h"

class udb_schema;
class udb_record;
class udb_indexes;
class dmp_database;
struct dmp_settings;

// A failed call on the engine's connection: the client library's text, level 0,
// code 0x400000 | low 16 bits of the error number.
class sql_exception : public tk_exception {
public:
  sql_exception();  // reads the engine's connection
  explicit sql_exception(MYSQL* connection);
  sql_exception(const std::string& message, unsigned error_number);
};

class sql_auth_not_supported_exception : public tk_exception {
public:
  sql_auth_not_supported_exception();
};

// A statement that was sent without waiting for its result. The engine asks its
// owner to read that result before anything else is sent on the connection.
class sql_pending_result {
public:
  virtual void settle() = 0;

protected:
  ~sql_pending_result() = default;
};

// Version words of the servers whose behaviour differs.
namespace sql_version {
constexpr unsigned v3_23_2 = 0x31702;
constexpr unsigned v3_23_34 = 0x31722;
constexpr unsigned v3_23_44 = 0x3172C;
constexpr unsigned v4_0_22 = 0x40016;
constexpr unsigned v4_0_0 = 0x40000;   // first server with X'..' literals
constexpr unsigned v4_1_0 = 0x40100;
constexpr unsigned v4_1_1 = 0x40101;   // first server with a session sql_mode
constexpr unsigned v5_5_3 = 0x50503;  // first server with utf8mb4
}  // namespace sql_version

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
public:
  sql_engine();
  ~sql_engine() override;
  sql_engine(const sql_engine&) = delete;
  sql_engine& operator=(const sql_engine&) = delete;

  // Connects over TLS where the server offers it (see connect in the source);
  // the session is set up and the settings are kept for reconnect.
  void connect(const std::string& host, const std::string& user, const std::string& password,
               unsigned port);
  // Connects again with the settings of the last connect and selects the
  // database that was selected; failures throw sql_exception.
  void reconnect();
  // Ends the server's session of the given thread id (one of this user's own)
  // and waits, up to the connect time-out, until it has left the process list;
  // false when it cannot be told that it has.
  bool end_session(unsigned long thread_id);
  // The server's thread id of the session that connect opened.
  unsigned long thread_id() const { return m_thread_id; }
  // After the connection was lost: connects again (reconnect) and ends the
  // session that was lost (end_session), so that what the server holds can be
  // looked at. Empty when done, else why what the server holds cannot be told.
  std::wstring replace_lost_session();
  // What a new connection finds of a database after the connection was lost
  // while the run dropped or created it (the lost session ended first): that it
  // does not exist, that it exists and how many tables it holds, or why it
  // cannot be told. The database is not selected again before.
  std::wstring database_after_loss(const std::wstring& name);
  // The error numbers of a connection that no longer reaches the server.
  static bool is_connection_lost(unsigned error);
  static bool is_connection_lost(const sql_exception& error);

  std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
  std::unique_ptr<udb_database> open_db(const std::wstring& name, unsigned mode,
                                        const std::wstring& password) override;
  void db_delete(const std::wstring& name) override;
  bool is_db_exist(const std::wstring& name) override;

  // A new dump file at the path, written with the settings (see SQL/sql_dump.h);
  // no server is involved. The caller owns it.
  std::unique_ptr<dmp_database> create_dump(const std::wstring& path, const dmp_settings& settings);

  // The name between back-quotes from server 4.1.0 on (a back-quote inside is
  // doubled), else unchanged.
  std::wstring quote_name(const std::wstring& name) const;

  // The character set of the connection and of every text column: "utf8mb4"
  // where the server has it, "utf8" from 4.1.0, empty before (no clause).
  std::wstring charset() const;

  // Name validators for the server generation in use; the caller owns them.
  std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema) const;
  std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record) const;
  std::unique_ptr<udb_validator> create_in_validator(const udb_indexes& indexes) const;
  std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::wstring>& names1,
                                     const std::vector<std::wstring>& names2) const;
  std::unique_ptr<udb_validator> create_dn_validator() const;

  // Sends a statement (UTF-8 of the wide text) and waits for it; true on success.
  // A result set it returns is left on the connection for the caller.
  bool send(const std::wstring& statement);
  bool send_utf8(const std::string& statement);
  // As send, but a failure throws sql_exception.
  void execute(const std::wstring& statement);
  // Sends a statement without waiting; owner->settle() must call read_result().
  bool send_deferred(const std::string& statement, sql_pending_result* owner);
  bool read_result();
  // Reads the result of a deferred statement, if one is outstanding.
  void settle();
  // The owner of a deferred statement goes away.
  void forget(sql_pending_result* owner);

  MYSQL* connection() { return &m_connection; }
  bool is_connected() const { return m_connected; }

  unsigned server_version() const { return m_server_version; }
  void set_server_version(unsigned word) { m_server_version = word; }
  int fk_supported() const { return m_fk_supported; }
  void set_fk_supported(int flag) { m_fk_supported = flag; }
  bool fast_insert() const { return m_fast_insert; }
  void set_fast_insert(bool on) { m_fast_insert = on; }
  bool blob_as_text() const { return m_blob_as_text; }
  void set_blob_as_text(bool on) { m_blob_as_text = on; }
  bool varchar_binary() const { return m_varchar_binary; }
  void set_varchar_binary(bool on) { m_varchar_binary = on; }
  bool pending_table_lock() const { return m_pending_table_lock; }
  void set_pending_table_lock(bool on) { m_pending_table_lock = on; }

  // The row format InnoDB gives a table that names none (the server's
  // innodb_default_row_format, read at connect, in lower case: "dynamic",
  // "compact", "redundant"); empty when the server has no such setting.
  const std::string& default_row_format() const { return m_default_row_format; }
  void set_default_row_format(const std::string& format) { m_default_row_format = format; }

  // The largest statement the server takes (its max_allowed_packet, read at
  // connect), in bytes; 0 when unknown.
  size_t max_statement() const { return m_max_statement; }
  void set_max_statement(size_t bytes) { m_max_statement = bytes; }

  // The session sql_mode the statements rely on, from the mode the server gives a
  // new session: its own flags without the ones that change how literals and names
  // read (NO_BACKSLASH_ESCAPES, ANSI_QUOTES, EMPTY_STRING_IS_NULL, the compatibility
  // bundles and what they bring), with STRICT_TRANS_TABLES and STRICT_ALL_TABLES
  // (a value a column cannot hold is refused, never stored altered) and
  // NO_AUTO_VALUE_ON_ZERO.
  static std::string session_mode(const std::string& server_mode);
  // The statements that set up a session on a server of the version word;
  // server_mode is the session's sql_mode as read (unused before 4.1.1).
  static std::vector<std::string> session_statements(unsigned version,
                                                     const std::string& server_mode);

  // The longest a session waits for a lock, in seconds: ORV_MYSQL_LOCK_TIMEOUT
  // when it holds a positive whole number, else 600. Each session lowers its
  // lock_wait_timeout and innodb_lock_wait_timeout to it.
  static unsigned long lock_timeout_limit();

  // "%d.%d.%d" of a server's version text as major << 16 | minor << 8 | patch;
  // false when fewer than three numbers are read.
  static bool parse_version(const char* text, unsigned& word);

private:
  void initialize();
  bool real_connect(const std::string& host, const std::string& user, const std::string& password,
                    unsigned port);
  // The option files require TLS (a verified certificate or its fingerprint).
  bool tls_required();
  bool select_db(const std::string& name);
  void bound_lock_waits();
  void send_or_trace(const char* statement, const char* failure_format);
  void set_up_session();
  // The first column of the first row of a statement's result; false when none.
  bool query_value(const char* statement, std::string& value, int column = 0);

  bool m_pending_table_lock = false;
  bool m_connected = false;
  bool m_fast_insert = true;
  bool m_blob_as_text = false;
  bool m_varchar_binary = false;
  unsigned m_server_version = 0;
  size_t m_max_statement = 0;
  std::string m_default_row_format;
  MYSQL m_connection;
  int m_fk_supported = 0;
  unsigned long m_thread_id = 0;
  // What connect was given, and the database selected last, for reconnect.
  std::string m_host, m_user, m_password;
  unsigned m_port = 0;
  std::string m_database;
  sql_pending_result* m_pending = nullptr;
};
