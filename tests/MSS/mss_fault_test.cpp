// The table writer under faults, against the TDS test server: another
// session's lock on the table, an answer to a committed batch that never
// arrives, a resend file that cannot be written.
#include <chrono>
#include <string>

#include "MSS/odb_cmd.h"
#include "platform/tds/tds_sql.h"
#include "tests/MSS/mss_engine_env.h"
#include "tests/support/oledb_session.h"

namespace {

struct lock_wait {
  explicit lock_wait(long ms) { tsql_lock_timeout_ms = ms; }
  ~lock_wait() { tsql_lock_timeout_ms = saved; }
  long saved = tsql_lock_timeout_ms;
};

// Another session's open transaction holds key 500: by bulk load the batch
// that holds it waits once and ends the table, by statement its record does;
// no later record waits again, and what was stored before stays.
TEST_F(mss_engine_test, AnotherSessionsLockEndsTheTableOnceOnEitherRoad) {
  const lock_wait wait(2000);
  const struct {
    bool fast;
    int first_not_stored;
    std::size_t stored;
  } cases[] = {{true, 1, 0}, {false, 500, 499}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fast ? "bulk load" : "statements");
    const std::wstring name = c.fast ? L"bulk" : L"stmt";
    database(c.fast, name);
    udb_schema schema;
    add(schema, L"id", VT_I4, 0, 0, true);
    udb_indexes keys;
    keys.push_back(udb_index{L"pk", true, true, {L"id"}});
    auto table = create(L"t", schema, keys);
    ole_com_ptr<IDBInitialize> other_source = open_data_source(engine_->get_connection_string(name));
    odb_command other(other_source.get());
    other.execute(L"BEGIN TRAN; INSERT INTO t VALUES (500)");
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> failures;
    for (int i = 1; i <= 1500; ++i) {
      try {
        table->append_record(*make_record({{L"id", ole_variant(i)}}));
      } catch (const tk_table_exception& e) {
        failures.push_back(e.what());
      }
    }
    EXPECT_THROW(table->flush(), tk_table_exception);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    ASSERT_EQ(failures.size(), 1500u - static_cast<std::size_t>(c.fast ? 999 : 499));
    EXPECT_EQ(failures.front().rfind("Table 't' is locked by another session: the lock was waited for 2 seconds", 0), 0u)
        << failures.front();
    EXPECT_NE(failures.front().find("Records from #" + std::to_string(c.first_not_stored) + " on are not stored"),
              std::string::npos)
        << failures.front();
    EXPECT_EQ(failures.back(), failures.front());
    EXPECT_TRUE(reported_.empty());
    other.execute(L"ROLLBACK");
    EXPECT_EQ(srv().row_count(tk_to_utf8(name), "t"), c.stored);
    table.reset();
    db_.reset();
  }
}

}  // namespace

namespace {

// The answer to a committed batch is lost (the connection closes after the
// server stored it): the table's rows tell that it is stored, and nothing is
// sent twice; at the intermediate commit and at the table's end, with rows by
// statement (empty texts) counted among the stored ones. When the rows tell
// nothing (another session added one meanwhile), the table ends with the
// records in doubt.
TEST_F(mss_engine_test, ALostAnswerToACommitStoresNothingTwice) {
  const struct {
    const char* name;
    int lost_batch;  // the bulk batch whose answer is lost
    bool other_row;  // another session adds a row before the commit
  } cases[] = {{"at the batch size", 1, false}, {"at the table's end", 2, false}, {"in doubt", 1, true}};
  database(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    udb_schema schema;
    add(schema, L"id", VT_I4);
    add(schema, L"v", VT_BSTR, 20);
    const std::wstring name = tk_from_utf8(std::string("t") + std::to_string(&c - cases));
    auto table = create(name, schema);
    srv().set_drop_after_bulk_commit(c.lost_batch);
    std::string failure;
    for (int i = 1; i <= 1500 && failure.empty(); ++i) {
      if (c.other_row && i == 500) srv().execute("INSERT INTO " + tk_to_utf8(name) + " VALUES (0, N'theirs')", "orv");
      const std::wstring v = i % 10 ? L"v" + std::to_wstring(i) : L"";
      try {
        table->append_record(*make_record({{L"id", ole_variant(i)}, {L"v", ole_variant(v)}}));
      } catch (const tk_exception& e) {
        failure = e.what();
      }
    }
    if (failure.empty()) {
      try {
        table->flush();
      } catch (const tk_exception& e) {
        failure = e.what();
      }
    }
    srv().set_drop_after_bulk_commit(0);
    if (c.other_row) {
      EXPECT_EQ(failure.rfind("Table '" + tk_to_utf8(name) + "': the connection to the server was lost", 0), 0u)
          << failure;
      EXPECT_NE(failure.find("the 1000 records sent, from record #1 to #1111, are in doubt; none after #1111 is stored."), std::string::npos)
          << failure;
      continue;
    }
    EXPECT_EQ(failure, "");
    std::map<int, std::string> stored;
    auto columns = srv().columns("orv", tk_to_utf8(name));
    for (const auto& row : srv().rows("orv", tk_to_utf8(name)))
      EXPECT_TRUE(stored.emplace(static_cast<int>(tds::cell_int(row[0])), tds::cell_text(columns[1].type, row[1])).second)
          << "stored twice: " << tds::cell_int(row[0]);
    ASSERT_EQ(stored.size(), 1500u);
    for (int i = 1; i <= 1500; ++i) EXPECT_EQ(stored[i], i % 10 ? "v" + std::to_string(i) : "") << i;
    EXPECT_TRUE(reported_.empty());
  }
}

}  // namespace
