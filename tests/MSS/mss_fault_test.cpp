// The table writer under faults, against the TDS test server: another
// session's lock on the table, an answer to a committed batch that never
// arrives, a resend file that cannot be written.
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "MSS/odb_cmd.h"
#include "common/mss_upsizer.h"
#include "platform/tds/tds_sql.h"
#include "tests/MSS/mss_engine_env.h"
#include "tests/support/oledb_session.h"
#include "tests/support/test_dir.h"

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

// A long value whose column must be widened while another session holds a
// row of the table: the ALTER waits once and ends the table; the later long
// values do not wait again.
TEST_F(mss_engine_test, AnotherSessionsLockOnAColumnToWidenEndsTheTableOnce) {
  const lock_wait wait(2000);
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  add(schema, L"v", VT_BSTR, 255);
  auto table = create(L"t", schema);
  mss_field_upsizer upsizer(db_.get(), table.get());
  ole_com_ptr<IDBInitialize> other_source = open_data_source(engine_->get_connection_string(L"orv"));
  odb_command other(other_source.get());
  other.execute(L"BEGIN TRAN; INSERT INTO t VALUES (0, N'theirs')");
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::string> failures;
  for (int i = 1; i <= 1210; ++i) {
    auto record = make_record({{L"id", ole_variant(i)}, {L"v", ole_variant(std::wstring(i > 1200 ? 300 : 3, L'v'))}});
    try {
      upsizer.process(*record);
      table->append_record(*record);
    } catch (const tk_table_exception& e) {
      failures.push_back(e.what());
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
  ASSERT_EQ(failures.size(), 10u);
  EXPECT_EQ(failures.front().rfind("Table 't' is locked by another session", 0), 0u) << failures.front();
  EXPECT_NE(failures.front().find("Records from #1201 on are not stored"), std::string::npos) << failures.front();
  other.execute(L"ROLLBACK");
  table.reset();
  EXPECT_EQ(srv().row_count("orv", "t"), 1200u);
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
      EXPECT_NE(failure.find("the 1000 records that go by bulk load from #1 to #1111 had been sent; whether they are stored "
                             "cannot be told (the table holds 1001 rows: 0 if they are not stored, 1000 if they are). "
                             "Of the other records, those from #1 on are not stored."),
                std::string::npos)
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

namespace {

// While set: TMPDIR names a folder of the test's, the resend file may grow
// to `bytes` at most, and a write past it fails (EFBIG) instead of ending the
// process.
class file_size_limit {
 public:
  file_size_limit(const std::string& tmpdir, rlim_t bytes) {
    const char* old = std::getenv("TMPDIR");
    if (old) saved_tmpdir_ = old;
    had_tmpdir_ = old != nullptr;
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    saved_signal_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~file_size_limit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_signal_);
    if (had_tmpdir_)
      ::setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

 private:
  rlimit saved_{};
  void (*saved_signal_)(int) = nullptr;
  std::string saved_tmpdir_;
  bool had_tmpdir_ = false;
};

// Long values of the open batch beyond the memory limit go to the resend file
// in TMPDIR's folder, which holds no name of it; a write that cannot store a
// value whole ends the table with the system's reason, and what is stored is
// exactly what was committed before.
TEST_F(mss_engine_test, AResendFileThatCannotBeWrittenEndsTheTableWithTheSystemsReason) {
  struct limit_guard {
    std::size_t saved = mss_fast_load::kept_memory_limit;
    ~limit_guard() { mss_fast_load::kept_memory_limit = saved; }
  } guard;
  mss_fast_load::kept_memory_limit = 100000;
  test_dir folder;
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  add(schema, L"t", VT_BSTR, 0);
  auto table = create(L"t", schema);
  for (int i = 1; i <= 1000; ++i)
    table->append_record(*make_record({{L"id", ole_variant(i)}, {L"t", ole_variant(L"s" + std::to_wstring(i))}}));
  std::string failure;
  {
    const file_size_limit limit(folder.path().string(), 300000);
    for (int i = 1001; i <= 1100 && failure.empty(); ++i) {
      try {
        table->append_record(*make_record({{L"id", ole_variant(i)}, {L"t", ole_variant(std::wstring(20000, L'x'))}}));
      } catch (const tk_table_exception& e) {
        failure = e.what();
      }
      EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    }
  }
  EXPECT_EQ(failure, "Table 't': the records of the open batch cannot be kept to be sent again (the temporary file in " +
                         folder.path().string() + ": " + std::strerror(EFBIG) +
                         "). Records from #1001 on are not stored; nothing more is written to the table.");
  EXPECT_THROW(table->flush(), tk_table_exception);
  table.reset();
  const std::vector<std::string> stored = rows("t");
  ASSERT_EQ(stored.size(), 1000u);
  for (int i = 1; i <= 1000; ++i) EXPECT_EQ(stored[static_cast<std::size_t>(i - 1)], std::to_string(i) + "|s" + std::to_string(i));
}

}  // namespace
