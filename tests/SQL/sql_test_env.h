// The MySQL back end against the MariaDB server of a test run: an engine, a
// database of the test's own, and the error reports it made.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "tests/support/private_mariadb.h"

// Answers every Continue dialog with Continue and records the messages.
class recording_dialogs : public error_dialogs {
public:
  std::vector<std::wstring>* messages;
  explicit recording_dialogs(std::vector<std::wstring>* m) : messages(m) {}
  void show_internal_error(const std::wstring& m) override { messages->push_back(m); }
  void show_error(const std::wstring& m) override { messages->push_back(m); }
  bool ask_continue(const std::wstring& m, bool&) override {
    messages->push_back(m);
    return true;
  }
  void end_process(int) override {}
};

// An engine connected to the test server and a fresh database of a unique name.
class SqlServer : public ::testing::Test {
protected:
  // The server the test runs on: the shared test server, unless a test starts
  // its own.
  virtual const sql_test_server& server() const { return sql_test_server::get(); }

  void SetUp() override {
    ORV_REQUIRE_MYSQL();
    const sql_test_server& s = server();
    ASSERT_TRUE(s.found) << "the test's own server did not start";
    reporter = std::make_unique<error_handler>(mysql_error_map_size, mysql_error_map,
                                               std::make_unique<recording_dialogs>(&reported));
    engine = std::make_unique<sql_engine>();
    engine->connect(s.host, s.user, s.password, s.port);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    db_name = tk_from_utf8(std::string("orv_") + info->name() + "_" + std::to_string(getpid()));
    if (engine->is_db_exist(db_name)) engine->db_delete(db_name);
    database.reset(static_cast<sql_database*>(engine->create_db(db_name).release()));
  }
  void TearDown() override {
    if (!engine) return;
    database.reset();
    try {
      if (engine->is_db_exist(db_name)) engine->db_delete(db_name);
    } catch (...) {
    }
  }
  // The rows of a statement as text, fields joined by '|'.
  std::vector<std::wstring> rows(const std::wstring& statement) {
    std::vector<std::wstring> out;
    auto result = database->query(statement);
    for (; result && !result->is_eof(); result->next()) {
      const udb_record& r = *result->get_record();
      std::wstring line;
      for (size_t i = 0; i < r.size(); ++i) {
        if (i) line += L"|";
        line += r[i].get_type() == VT_NULL ? L"NULL" : r[i].to_wstring();
      }
      out.push_back(line);
    }
    return out;
  }

  std::vector<std::wstring> reported;
  std::unique_ptr<error_handler> reporter;
  std::unique_ptr<sql_engine> engine;
  std::unique_ptr<sql_database> database;
  std::wstring db_name;
};
