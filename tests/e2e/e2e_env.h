// What the end-to-end tests share: the private MariaDB server of the test run,
// a client connection of their own to check what a conversion wrote, and a
// fixture that builds the error handler and the converter as the wizard does.
#pragma once

#include <gtest/gtest.h>
#include <mysql.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TK/tk_utils.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "common/error_handler.h"
#include "platform/kernel/registry.h"
#include "tests/support/private_mariadb.h"
#include "tests/support/test_dir.h"

// The server of the test run (ORV_MYSQL_*), or a private one of a test's own.
using e2e_server = sql_test_server;

#define ORV_REQUIRE_E2E_SERVER() ORV_REQUIRE_MYSQL()

using sql_row = std::vector<std::optional<std::string>>;

// A client connection that checks the converted data.
class check_client {
public:
  explicit check_client(const e2e_server& s = e2e_server::get()) {
    mysql_init(&m_);
    unsigned timeout = 10;
    mysql_options(&m_, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    my_bool tls = 1;  // servers that require it
    mysql_optionsv(&m_, MYSQL_OPT_SSL_ENFORCE, &tls);
    if (!mysql_real_connect(&m_, s.host.c_str(), s.user.c_str(), s.password.c_str(), nullptr, s.port, nullptr, 0))
      ADD_FAILURE() << "check connection: " << mysql_error(&m_);
    mysql_set_character_set(&m_, "utf8mb4");
  }
  ~check_client() { mysql_close(&m_); }

  void exec(const std::string& statement) {
    if (mysql_query(&m_, statement.c_str())) ADD_FAILURE() << statement << ": " << mysql_error(&m_);
  }
  std::vector<sql_row> rows(const std::string& statement) {
    std::vector<sql_row> result;
    if (mysql_query(&m_, statement.c_str())) {
      ADD_FAILURE() << statement << ": " << mysql_error(&m_);
      return result;
    }
    MYSQL_RES* res = mysql_store_result(&m_);
    if (!res) return result;
    unsigned n = mysql_num_fields(res);
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
      unsigned long* lengths = mysql_fetch_lengths(res);
      sql_row r;
      for (unsigned i = 0; i < n; ++i)
        r.push_back(row[i] ? std::optional<std::string>(std::string(row[i], lengths[i])) : std::nullopt);
      result.push_back(std::move(r));
    }
    mysql_free_result(res);
    return result;
  }
  // One value of the first row.
  std::string value(const std::string& statement) {
    auto r = rows(statement);
    return r.empty() || r[0].empty() || !r[0][0] ? std::string() : *r[0][0];
  }
  // "name type" of each column, in order (COLUMN_TYPE, e.g. "varchar(255)").
  std::vector<std::string> columns(const std::string& db, const std::string& table) {
    std::vector<std::string> out;
    for (const sql_row& r : rows("SELECT COLUMN_NAME, COLUMN_TYPE, IFNULL(CHARACTER_SET_NAME, '') FROM "
                                 "information_schema.COLUMNS WHERE TABLE_SCHEMA='" + db + "' AND TABLE_NAME='" +
                                 table + "' ORDER BY ORDINAL_POSITION"))
      out.push_back(*r[0] + " " + *r[1] + (r[2]->empty() ? "" : " " + *r[2]));
    return out;
  }
  std::vector<std::string> tables(const std::string& db) {
    std::vector<std::string> out;
    for (const sql_row& r : rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='" + db +
                                 "' ORDER BY TABLE_NAME"))
      out.push_back(*r[0]);
    return out;
  }

private:
  MYSQL m_;
};

// Loads a dump file into the database db with the mariadb client (statements of
// up to 64 MB, as the private server takes); its output on failure.
inline std::string load_dump(const std::string& db, const std::filesystem::path& dump) {
  const e2e_server& s = e2e_server::get();
  const std::string command = "mariadb --max-allowed-packet=64M -h " + shell_quote(s.host) + " -P " +
                              std::to_string(s.port) + " -u " + shell_quote(s.user) + " --password=" +
                              shell_quote(s.password) + " " + shell_quote(db) + " < " +
                              shell_quote(dump.string()) + " 2>&1";
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "cannot start the mariadb client";
  for (int c; (c = std::fgetc(pipe)) != EOF;) output += static_cast<char>(c);
  if (::pclose(pipe) != 0 && output.empty()) output = "the mariadb client failed";
  return output;
}

// Answers the dialogs as the test scripts them and records what was shown.
class scripted_dialogs : public error_dialogs {
public:
  void show_internal_error(const std::wstring& m) override { shown.push_back("internal: " + tk_to_utf8(m)); }
  void show_error(const std::wstring& m) override { shown.push_back("error: " + tk_to_utf8(m)); }
  bool ask_continue(const std::wstring& m, bool& do_not_show) override {
    shown.push_back("continue: " + tk_to_utf8(m));
    do_not_show = false;
    return answers_continue;
  }
  std::vector<std::string>* error_list() override { return &listed; }
  void end_process(int code) override { exit_code = code; }

  bool answers_continue = true;
  int exit_code = 0;
  std::vector<std::string> shown;
  std::vector<std::string> listed;
};

// Where a conversion goes: into the server's database, or into a dump file
// that is loaded into it afterwards.
enum class road { live, dump };

// The error handler and the converter, with the registry in a folder of the
// test's own. The converter is built by make_converter().
class converter_fixture : public ::testing::Test {
protected:
  void SetUp() override {
    kernel::set_registry_file((dir / "registry.reg").string());
    auto d = std::make_unique<scripted_dialogs>();
    dialogs = d.get();
    handler = std::make_unique<error_handler>(dao_error_map_size, dao_error_map, std::move(d));
    handler->load_err_map(mysql_error_map_size, mysql_error_map);
    handler->load_err_map(xls_error_map_size, xls_error_map);
  }
  void TearDown() override {
    converter.reset();
    handler.reset();
    kernel::set_registry_file(std::nullopt);
  }
  orvell_converter& make_converter() {
    converter.reset();
    converter = std::make_unique<orvell_converter>();
    return *converter;
  }
  // A new converter that converts by the road into the database db (a dump:
  // the file dump, and db is created to load it into).
  orvell_converter& make_converter(road by, check_client& client, const std::string& db,
                                   const std::filesystem::path& dump) {
    orvell_converter& c = make_converter();
    if (by == road::live) {
      const e2e_server& s = e2e_server::get();
      c.store_mysql_settings(s.host, s.user, s.password, std::to_string(s.port));
      c.connect_mysql_server();
      c.set_dest(tk_from_utf8(db));
      c.direct = true;
    } else {
      client.exec("CREATE DATABASE `" + db + "`");
      c.direct = false;
      c.set_dest(dump.wstring());
    }
    return c;
  }
  // The test's own name, usable as a database name.
  static std::string unique_name(const std::string& prefix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return prefix + "_" + std::to_string(::getpid()) + "_" + info->name();
  }

  test_dir dir;
  scripted_dialogs* dialogs = nullptr;
  std::unique_ptr<error_handler> handler;
  std::unique_ptr<orvell_converter> converter;
};

// A converter connected to the server, with a database name of the test's own
// (dropped before and after).
class server_fixture : public converter_fixture {
protected:
  void SetUp() override {
    ORV_REQUIRE_E2E_SERVER();
    converter_fixture::SetUp();
    client = std::make_unique<check_client>();
    db = unique_name("orv");
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    orvell_converter& c = make_converter();
    const e2e_server& s = e2e_server::get();
    c.store_mysql_settings(s.host, s.user, s.password, std::to_string(s.port));
    c.connect_mysql_server();
    c.set_dest(tk_from_utf8(db));
    c.direct = true;
  }
  void TearDown() override {
    if (client) client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    converter_fixture::TearDown();
  }
  // Converts into another server from now on (one of the test's own, or the same
  // through a relay on another port); the check client goes there directly.
  void use_server(const e2e_server& s, unsigned port = 0) {
    client = std::make_unique<check_client>(s);
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    converter->store_mysql_settings(s.host, s.user, s.password, std::to_string(port ? port : s.port));
    converter->connect_mysql_server();
  }
  // Runs the conversion as the worker thread does.
  void run() { (*converter)(); }
  std::vector<sql_row> table_rows(const std::string& table, const std::string& order = "") {
    return client->rows("SELECT * FROM `" + db + "`.`" + table + "`" + (order.empty() ? "" : " ORDER BY " + order));
  }

  std::unique_ptr<check_client> client;
  std::string db;
};

// ORV_MYSQL_LOCK_TIMEOUT for the sessions opened while it lives.
class lock_timeout_env {
public:
  explicit lock_timeout_env(const char* seconds) { ::setenv("ORV_MYSQL_LOCK_TIMEOUT", seconds, 1); }
  ~lock_timeout_env() { ::unsetenv("ORV_MYSQL_LOCK_TIMEOUT"); }
};

// The number that follows the text in the message; -1 when the text is not there.
inline long number_after(const std::string& message, const std::string& text) {
  const size_t at = message.find(text);
  return at == std::string::npos ? -1 : std::strtol(message.c_str() + at + text.size(), nullptr, 10);
}

// The text of a row's values, NULL as "<null>".
inline std::vector<std::string> texts(const sql_row& row) {
  std::vector<std::string> out;
  for (const auto& v : row) out.push_back(v ? *v : "<null>");
  return out;
}

// What tests/fixtures/xls/sample.xls (worksheets "Data" and "My 'Sheet") gives in
// the database db, however it got there.
inline void expect_sample_workbook(check_client& client, const std::string& db) {
  auto tables = client.tables(db);
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0], "Data");
  EXPECT_NE(tables[1], "My 'Sheet");
  EXPECT_EQ(tables[1].rfind("My", 0), 0u) << tables[1];
  auto data = client.rows("SELECT * FROM `" + db + "`.`Data` ORDER BY Amount");
  ASSERT_EQ(data.size(), 3u);  // the empty row was skipped
  EXPECT_EQ(texts(data[0]), (std::vector<std::string>{"last", "-0.001", "<null>"}));
  EXPECT_EQ(texts(data[1]), (std::vector<std::string>{"Zo\xc3\xab", "1.5", "2004-05-06 10:20:30"}));
  EXPECT_EQ(texts(data[2]), (std::vector<std::string>{"\xf0\x9f\x98\x80 emoji", "2", "<null>"}));
  auto labels = client.rows("SELECT * FROM `" + db + "`.`" + tables[1] + "` ORDER BY id");
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(texts(labels[1]), (std::vector<std::string>{"2", "two"}));
  EXPECT_EQ(client.columns(db, tables[1])[0], "id int(11)");
}
