// The SQL Server half of the SQL Server programs' conversion driver: the
// engine, the connection settings and their place in a settings profile.
#pragma once

#include <string>

#include "MSS/mss_engi.h"
#include "common/mss_login.h"

class udb_profile;

class mssql_converter_impl {
public:
  // The engine initialises COM on the calling thread.
  mssql_converter_impl();
  virtual ~mssql_converter_impl();
  mssql_converter_impl(const mssql_converter_impl&) = delete;
  mssql_converter_impl& operator=(const mssql_converter_impl&) = delete;

  void set_connection(const std::wstring& server, const std::wstring& login, const std::wstring& password);
  // Windows authentication, or the SQL Server login; a failure is thrown
  // (odb_exception). Bulk loading is asked for.
  bool connect_mssql_server();
  // The login connect_mssql_server makes, with settings of the caller's own (a copy
  // for a thread of its own); it touches no converter or engine. The result is for
  // the engine's adopt.
  static mss_connection log_in(const mss_login_settings& settings);

  // "MS SQL Server settings" of a profile.
  bool store_profile(udb_profile& profile);
  bool load_profile(udb_profile& profile);

  mss_engine& get_engine() { return engine_; }
  mss_login_settings& connection() { return login_; }
  const mss_login_settings& connection() const { return login_; }

protected:
  mss_engine engine_;
  mss_login_settings login_;
};
