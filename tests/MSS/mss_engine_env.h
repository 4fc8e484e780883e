// A connected SQL Server engine for the tests on the TDS test server, an
// error reporter that records what it is given, and builders of records and
// schemas.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "MSS/mss_db.h"
#include "MSS/mss_engi.h"
#include "MSS/mss_tab.h"
#include "MSS/odb_exce.h"
#include "TK/tk_utils.h"
#include "UDB/udb_rec.h"
#include "common/error_handler.h"
#include "tests/support/tds_server/tds_server.h"

// Answers every Continue dialog with Continue and records the messages.
class mss_recording_dialogs : public error_dialogs {
 public:
  explicit mss_recording_dialogs(std::vector<std::wstring>* m) : messages_(m) {}
  void show_internal_error(const std::wstring& m) override { messages_->push_back(m); }
  void show_error(const std::wstring& m) override { messages_->push_back(m); }
  bool ask_continue(const std::wstring& m, bool&) override {
    messages_->push_back(m);
    return true;
  }
  void end_process(int) override {}

 private:
  std::vector<std::wstring>* messages_;
};

inline std::unique_ptr<udb_record> make_record(const std::vector<std::pair<std::wstring, ole_variant>>& fields) {
  auto record = std::make_unique<udb_record>();
  for (const auto& [name, value] : fields) record->add_field(std::make_unique<udb_field>(name, 0, value));
  return record;
}

inline ole_variant typed(const std::wstring& text, VARTYPE vt) {
  ole_variant v;
  v.from_wstring(text, vt);
  return v;
}

class mss_engine_test : public ::testing::Test {
 protected:
  static constexpr const char* password = "p;w=\"x'";

  void SetUp() override {
    tds::server_options o;
    o.password = password;
    o.lock_timeout_ms = 20000;  // a client waiting on its own other connection fails (1222) rather than hangs
    server_ = std::make_unique<tds::server>(o);
    engine_ = std::make_unique<mss_engine>(false);
    reporter_ = std::make_unique<error_handler>(odb_error_messages_count, odb_error_messages, std::make_unique<mss_recording_dialogs>(&reported_));
  }
  void TearDown() override {
    db_.reset();
    reporter_.reset();
    engine_.reset();
    server_.reset();
  }

  tds::server& srv() { return *server_; }
  std::wstring server_name() const { return L"127.0.0.1," + std::to_wstring(server_->port()); }
  static std::wstring wide(const char* text) { return tk_from_utf8(text); }

  void connect(bool fast_load) { engine_->connect(server_name(), L"sa", wide(password), fast_load); }
  // Connects for the road (bulk load or statements) and creates its database,
  // "bulk" or "stmt", on the server, as a user's database the run merges into.
  std::string users_database(bool fast_load) {
    const std::string name = fast_load ? "bulk" : "stmt";
    connect(fast_load);
    srv().execute("CREATE DATABASE [" + name + "]");
    return name;
  }
  // Connects and creates the database "orv".
  mss_database& database(bool fast_load, const std::wstring& name = L"orv") {
    connect(fast_load);
    db_ = engine_->create_db(name);
    return *db_;
  }

  // A table of the database from a list of fields (name, type, size, not null).
  std::unique_ptr<mss_table> create(const std::wstring& table, udb_schema& schema, const udb_indexes& indexes = {}) {
    auto created = db_->create_table(table, schema, indexes);
    return std::unique_ptr<mss_table>(static_cast<mss_table*>(created.release()));
  }
  static void add(udb_schema& schema, const std::wstring& name, VARTYPE vt, int size = 0, int extra = 0,
                  bool not_null = false, bool auto_increment = false, const ole_variant& def = ole_variant()) {
    schema.push_back(std::make_unique<t_ftd>(size, name, vt, not_null, auto_increment, def, extra));
  }

  // The stored rows as text, columns joined by '|' (NULL as "NULL").
  std::vector<std::string> rows(const std::string& table, const std::string& db = "orv") {
    std::vector<std::string> out;
    auto columns = srv().columns(db, table);
    for (const auto& row : srv().rows(db, table)) {
      std::string line;
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) line += "|";
        line += row[i].null ? "NULL" : tds::cell_text(columns[i].type, row[i]);
      }
      out.push_back(line);
    }
    return out;
  }

  std::vector<std::wstring> reported_;
  std::unique_ptr<tds::server> server_;
  std::unique_ptr<mss_engine> engine_;
  std::unique_ptr<error_handler> reporter_;
  std::unique_ptr<mss_database> db_;
};
