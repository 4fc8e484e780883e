// The session the MySQL destination sets up, and what the statements rely on it
// for: on a server of the test's own whose global settings would otherwise change
// the data (a hostile sql_mode, autocommit off, a small max_allowed_packet).
#include <gtest/gtest.h>

#include "sql_test_env.h"
#include "SQL/sql_tab.h"
#include "UDB/udb_rec.h"

namespace {

const char* const awkward_server =
    "--sql-mode=ANSI,ORACLE,NO_BACKSLASH_ESCAPES,EMPTY_STRING_IS_NULL,STRICT_ALL_TABLES "
    "--autocommit=0 --max-allowed-packet=1M";

std::unique_ptr<udb_record> make_record(const std::vector<std::pair<std::wstring, ole_variant>>& values) {
  auto record = std::make_unique<udb_record>();
  for (const auto& [name, value] : values) record->add_field(std::make_unique<udb_field>(name, 0, value));
  return record;
}

std::string hex_of(const std::wstring& text) {
  const std::string bytes = tk_to_utf8(text);
  return tk_bin_to_hex(bytes.data(), bytes.size());
}

class SqlOwnServer : public SqlServer {
protected:
  static void SetUpTestSuite() {
    if (sql_test_server::get().found) own = std::make_unique<sql_private_server>(awkward_server);
  }
  static void TearDownTestSuite() { own.reset(); }
  const sql_test_server& server() const override { return own ? own->server() : sql_test_server::get(); }

  // A statement on a connection of its own, through the mariadb client.
  rows_t client_rows(const std::string& statement) {
    int status = 0;
    rows_t out = run_client(client(tk_to_utf8(db_name), server()) +
                                " --default-character-set=utf8mb4 -e " + shell_quote(statement),
                            status);
    EXPECT_EQ(status, 0) << joined(out);
    return out;
  }

  static inline std::unique_ptr<sql_private_server> own;
};

}  // namespace

TEST(SqlSessionText, EachServerGenerationGetsOnlyWhatItKnows) {
  // Before 4.1.1 a server has no session sql_mode to set.
  EXPECT_EQ(sql_engine::session_statements(0x40017, ""), std::vector<std::string>{"SET AUTOCOMMIT = 1"});
  EXPECT_EQ(sql_engine::session_statements(0x40100, "ANSI_QUOTES"),
            std::vector<std::string>{"SET AUTOCOMMIT = 1"});
  EXPECT_EQ(sql_engine::session_statements(0x40101, "ANSI_QUOTES,STRICT_TRANS_TABLES"),
            (std::vector<std::string>{
                "SET AUTOCOMMIT = 1",
                "SET SESSION sql_mode = 'STRICT_TRANS_TABLES,STRICT_ALL_TABLES,NO_AUTO_VALUE_ON_ZERO'"}));
  // The server's own flags stay; what changes literals, names and table texts goes;
  // strict modes are always on.
  const std::string ours = "STRICT_TRANS_TABLES,STRICT_ALL_TABLES,NO_AUTO_VALUE_ON_ZERO";
  EXPECT_EQ(sql_engine::session_mode(
                "PIPES_AS_CONCAT,ANSI_QUOTES,IGNORE_SPACE,ORACLE,NO_KEY_OPTIONS,NO_TABLE_OPTIONS,"
                "NO_FIELD_OPTIONS,NO_BACKSLASH_ESCAPES,STRICT_ALL_TABLES,NO_AUTO_CREATE_USER,"
                "EMPTY_STRING_IS_NULL,SIMULTANEOUS_ASSIGNMENT"),
            "PIPES_AS_CONCAT,IGNORE_SPACE,NO_AUTO_CREATE_USER,SIMULTANEOUS_ASSIGNMENT," + ours);
  EXPECT_EQ(sql_engine::session_mode(""), ours);
  EXPECT_EQ(sql_engine::session_mode("NO_AUTO_VALUE_ON_ZERO,ansi,MSSQL,DB2,POSTGRESQL,MAXDB,MYSQL40"), ours);
}

// Whatever the server's own timeouts, no wait of the session's is longer than
// ORV_MYSQL_LOCK_TIMEOUT (600 s unless it holds a number of seconds).
TEST_F(SqlServer, EachSessionBoundsItsLockWaits) {
  struct env_guard {
    ~env_guard() { unsetenv("ORV_MYSQL_LOCK_TIMEOUT"); }
  } guard;
  const struct {
    const char* value;  // nullptr: unset
    const wchar_t* waits;  // lock_wait_timeout|innodb_lock_wait_timeout
  } cases[] = {{nullptr, L"600|50"}, {"2", L"2|2"}, {"x", L"600|50"}, {"100", L"100|50"}};
  const sql_test_server& s = server();
  for (const auto& c : cases) {
    if (c.value) setenv("ORV_MYSQL_LOCK_TIMEOUT", c.value, 1);
    else unsetenv("ORV_MYSQL_LOCK_TIMEOUT");
    engine->connect(s.host, s.user, s.password, s.port);
    EXPECT_EQ(rows(L"SELECT @@SESSION.lock_wait_timeout, @@SESSION.innodb_lock_wait_timeout").at(0), c.waits)
        << (c.value ? c.value : "unset");
  }
}

TEST_F(SqlOwnServer, ValuesAndNamesArriveAsWrittenAndStay) {
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, true, true, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(255, L"name", VT_BSTR, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(8, L"day", VT_DATE, false, false, ole_variant(), 2));
  schema.push_back(std::make_unique<t_ftd>(4, L"Price \U0001F4B2", VT_I4, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(4, std::wstring(L"a\0b", 3), VT_I4, false, false, ole_variant(), 0));
  database->create_table(L"t", schema, udb_indexes()).reset();
  auto table = database->open_table(L"t");

  const std::vector<std::wstring> names = {L"'), (4, (SELECT CONCAT(user(), version())))#", L"C:\\dir",
                                           L"O'Brien", L"", L"\"quoted\""};
  SYSTEMTIME day{};
  day.wYear = 2024;
  day.wMonth = 2;
  day.wDay = 29;
  int id = 0;  // the first row's 0 stays 0
  for (const std::wstring& name : names) {
    table->append_record(*make_record({{L"id", ole_variant(static_cast<long>(id))},
                                       {L"name", ole_variant(name)},
                                       {L"day", ole_variant(day)},
                                       {L"Price \U0001F4B2", ole_variant(10L + id)},
                                       {std::wstring(L"a\0b", 3), ole_variant(20L + id)}}));
    id += 5;
  }
  table.reset();
  EXPECT_TRUE(reported.empty()) << reported[0];

  // Read on another connection: the rows were committed.
  rows_t expected;
  id = 0;
  for (const std::wstring& name : names) {
    expected.push_back(std::to_string(id) + "\t" + hex_of(name) + "\t0\t2024-02-29\t" +
                       std::to_string(10 + id) + "\t" + std::to_string(20 + id));
    id += 5;
  }
  EXPECT_EQ(client_rows("SELECT id, HEX(name), name IS NULL, day, `Price _`, `a_b` FROM t ORDER BY id"),
            expected);
  // DATE stays DATE.
  EXPECT_EQ(client_rows("SELECT DATA_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() "
                        "AND COLUMN_NAME = 'day'"),
            rows_t{"date"});
}

TEST_F(SqlOwnServer, StatementsStayWithinTheServersPacketLimit) {
  EXPECT_EQ(engine->max_statement(), 1048576u);
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(0, L"b", VT_BLOB, false, false, ole_variant(), 0));
  database->create_table(L"blobs", schema, udb_indexes()).reset();
  auto table = database->open_table(L"blobs");
  auto bytes = [](size_t n) {
    std::vector<BYTE> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<BYTE>(i * 7);
    return b;
  };
  // 2: too large for any statement; 3 + 4: too large for one statement together.
  const size_t sizes[] = {10, 700000, 90000, 450000, 0};
  long id = 0;
  for (size_t n : sizes)
    table->append_record(*make_record({{L"id", ole_variant(++id)}, {L"b", ole_variant(bytes(n))}}));
  table->flush();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].rfind(L"blobs, record #2: ", 0), 0u) << reported[0];
  EXPECT_NE(reported[0].find(L"at most 1048576 bytes (max_allowed_packet)"), std::wstring::npos) << reported[0];
  // The connection goes on: later rows arrive, binary values whole.
  table->append_record(*make_record({{L"id", ole_variant(6L)}, {L"b", ole_variant(bytes(3))}}));
  table.reset();
  EXPECT_EQ(rows(L"SELECT id, LENGTH(b), HEX(SUBSTRING(b, GREATEST(LENGTH(b) - 1, 1))) FROM blobs ORDER BY id"),
            (std::vector<std::wstring>{L"1|10|383F", L"3|90000|E2E9", L"4|450000|A2A9", L"5|0|", L"6|3|070E"}));
}

TEST_F(SqlServer, ALostConnectionEndsTheRunNamingTheLastRecordStored) {
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, false, false, ole_variant(), 0));
  database->create_table(L"lost", schema, udb_indexes()).reset();
  auto table = database->open_table(L"lost");
  for (long i = 1; i <= 3; ++i) table->append_record(*make_record({{L"id", ole_variant(i)}}));
  table->flush();
  const std::wstring id = rows(L"SELECT CONNECTION_ID()").at(0);
  int status = 0;
  run_client(client("") + " -e " + shell_quote("KILL CONNECTION " + tk_to_utf8(id)), status);
  ASSERT_EQ(status, 0);

  int failures = 0;
  for (long i = 4; i <= 100000 && failures == 0; ++i) {
    try {
      table->append_record(*make_record({{L"id", ole_variant(i)}}));
      if (i == 100000) table->flush();
    } catch (const tk_exception& e) {
      ++failures;
      EXPECT_EQ(e.get_level(), 1);
      const std::string text = e.what();
      EXPECT_NE(text.find("table 'lost'"), std::string::npos) << text;
      EXPECT_NE(text.find("The last record stored is #3; no record after it was stored."), std::string::npos)
          << text;
    }
  }
  EXPECT_EQ(failures, 1);
  EXPECT_TRUE(reported.empty()) << reported[0];
  table.reset();
  database.reset();
  run_client(client("") + " -e " + shell_quote("DROP DATABASE IF EXISTS `" + tk_to_utf8(db_name) + "`"), status);
}
