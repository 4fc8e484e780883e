// The SQL Server stand-in for the OLE DB tests: an in-process TDS test server
// and the connection strings and sessions of our provider on it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MSS/odb_exce.h"
#include "OLE/ole_ptr.h"
#include "platform/com/com_runtime.h"
#include "platform/oledb/connection_string.h"
#include "platform/oledb/oledb_interfaces.h"
#include "platform/tds/tds_provider.h"
#include "tests/support/oledb_session.h"
#include "tests/support/tds_server/tds_server.h"

class mss_server_test : public ::testing::Test {
 protected:
  static constexpr const char* password = "p;w=\"x'";

  void SetUp() override {
    register_sqloledb();
    tds::server_options o;
    o.password = password;
    o.databases = {"orv"};
    o.lock_timeout_ms = 20000;  // a client waiting on its own other connection fails (1222) rather than hangs
    server_ = std::make_unique<tds::server>(o);
  }

  tds::server& srv() { return *server_; }
  std::wstring port() const { return std::to_wstring(server_->port()); }

  std::wstring connection(const std::wstring& database = L"orv", const std::wstring& password_text = L"") const {
    std::wstring pw = password_text.empty() ? std::wstring(password, password + std::strlen(password)) : password_text;
    std::wstring text = L"Provider=sqloledb;Data Source=127.0.0.1," + port();
    if (!database.empty()) text += L";Initial Catalog=" + database;
    return text + L";User ID=sa;Password=" + connection_string_value(pw) + L";";
  }

  // An initialised data source; throws odb_exception as the system's calls do.
  ole_com_ptr<IDBInitialize> data_source(const std::wstring& text) { return open_data_source(text); }

  ole_com_ptr<IOpenRowset> session(const std::wstring& database = L"orv") {
    return open_session(data_source(connection(database)));
  }

  // The odb_exception that f throws (code 0 when none).
  template <class F>
  static odb_exception failure(F&& f) {
    try {
      f();
    } catch (const odb_exception& e) {
      return e;
    }
    ADD_FAILURE() << "no odb_exception";
    return odb_exception(S_OK);
  }

 private:
  std::unique_ptr<tds::server> server_;
};
