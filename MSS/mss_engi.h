// The SQL Server engine: the connection parameters, the connection strings of
// the provider, the server's version class, bulk loading, the databases, and
// the owner-qualified table names.
#pragma once

#include <memory>
#include <string>

#include "OLE/ole_ptr.h"
#include "TK/tk_singl.h"
#include "platform/oledb/oledb_interfaces.h"

class mss_database;

// Server version classes.
enum : int {
  MSS_VERSION_OTHER = 1,
  MSS_VERSION_7 = 2,
  MSS_VERSION_2000 = 3,
  MSS_VERSION_2005 = 4,
  MSS_VERSION_2008 = 5,  // and every later version, Azure SQL Database too
};

// A login: the settings it is made with, and what the engine keeps of the server
// once it succeeded.
struct mss_connection {
  std::wstring server;  // empty: this machine
  std::wstring login;
  std::wstring password;
  bool windows_authentication = false;
  bool fast_load = false;  // bulk loading was granted
  int version_code = 0;    // the server's version class
};

class mss_engine : public tk_singleton<mss_engine> {
 public:
  explicit mss_engine(bool no_coinitialize);
  virtual ~mss_engine();

  // Windows authentication (the provider logs in by Kerberos).
  void connect(const std::wstring& server, bool fast_load);
  // SQL Server authentication.
  void connect(const std::wstring& server, const std::wstring& login, const std::wstring& password, bool fast_load);
  // Logs in with wanted's server, authentication, login and password, asking for bulk
  // loading (fast_load), and learns the server's version; the result is wanted with
  // those filled in. It touches no engine, so that it may run on a thread of its own
  // with its own copies; a failure is thrown (odb_exception).
  static mss_connection log_in(mss_connection wanted, bool fast_load);
  // The engine connected with what log_in established.
  void adopt(const mss_connection& connection);

  // The connection string for the remembered parameters, every value quoted as
  // connection strings quote it.
  std::wstring get_connection_string(const std::wstring& database) const;
  // Initialises a data source from the string; true, or odb_exception.
  static bool test_connection(const std::wstring& connection, ole_com_ptr<IDBInitialize>& source);
  // True when the database can be opened; false when the server says it does
  // not exist or cannot be opened (4060). Any other failure (no server, a
  // refused login) is thrown.
  bool is_db_exist(const std::wstring& name);
  std::unique_ptr<mss_database> open_db(const std::wstring& name, unsigned mode);
  // A connection lost while it creates or drops the database throws
  // tk_connection_lost saying whether the database exists now, as a new
  // connection finds it.
  std::unique_ptr<mss_database> create_db(const std::wstring& name);
  void delete_db(const std::wstring& name);
  // Whether the login may create a database, as CREATE DATABASE checks it:
  // CREATE ANY DATABASE (which sysadmin, dbcreator and ALTER ANY DATABASE
  // give) or CREATE DATABASE in master; before SQL Server 2005 the sysadmin
  // and dbcreator roles. A failure of the question is thrown.
  bool may_create_database();

  static int get_version(IDBInitialize* source);
  // The version class of an @@VERSION text.
  static int version_class(const std::wstring& version_text);
  static bool enable_fast_load(IDBInitialize* source, bool wanted);
  // "[owner].[table]" for a table name, unchanged when it names its owner.
  std::wstring get_safe_tname(const std::wstring& name) const;
  // The owner of the tables this login creates and finds: dbo when connected
  // as database owner; else in the database last opened its user's default
  // schema (SQL Server 2005 on), before it the user's name (dbo for a
  // sysadmin). Before a database is opened: dbo, before 2005 the login (dbo
  // for sa).
  std::wstring get_table_owner() const;

  void set_as_dbo(bool as_dbo);
  int get_version_code() const { return version_code_; }
  bool is_fast_load() const { return fast_load_; }
  bool is_connected() const { return connected_; }
  bool is_windows_authentication() const { return windows_authentication_; }
  const std::wstring& get_login() const { return login_; }
  const std::wstring& get_server() const { return server_; }
  bool is_as_dbo() const { return as_dbo_; }
  IDataConvert* get_data_convert() const { return data_convert_.get(); }

  // The connection string as the trace log may show it: the password as ***.
  static std::wstring hide_password(const std::wstring& connection);

 private:
  std::wstring server_part() const;
  // exists or missing by whether the database exists now; else why that
  // cannot be told.
  std::wstring database_state(const std::wstring& name, const std::wstring& exists, const std::wstring& missing);
  // Runs a statement on a connection without a database.
  void run_on_server(const std::wstring& statement);
  // Fails (level 1) unless the session is in the database of that name; learns
  // the default schema there.
  void confirm_database(IOpenRowset* session, const std::wstring& name);

  ole_com_ptr<IDataConvert> data_convert_;
  int version_code_ = 0;
  std::wstring server_;
  std::wstring login_;
  std::wstring password_;
  bool connected_ = false;
  bool windows_authentication_ = false;
  bool fast_load_ = false;
  int no_coinitialize_ = 0;
  bool as_dbo_ = false;
  // The owner of the login's tables in the database last opened: its user's
  // default schema, before SQL Server 2005 the user's name.
  std::wstring owner_;
};

// Splits "[owner].[table]" or "[table]" (brackets with ']]' inside read as
// ']'); false, outputs untouched, for a name that is not bracketed.
bool mss_split_tab_name(const std::wstring& name, std::wstring& table, std::wstring& owner);
// "[name]" with every ']' doubled.
std::wstring mss_bracket_name(const std::wstring& name);
