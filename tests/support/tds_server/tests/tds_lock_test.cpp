// Sessions and locks: what another session's open bulk batch or transaction
// makes a statement wait for, and what ends the wait. Each case runs the
// statement on a second connection while the first holds its rows.
#include <sys/socket.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/support/tds_server/tests/tds_server_env.h"

namespace {

using namespace std::chrono_literals;

struct outcome {
  bool ok = false;
  std::vector<int> numbers;  // messages of class > 10
  std::string value;         // the first cell of the first result
};

// The server's errors among this thread's messages.
std::vector<int> server_errors() {
  std::vector<int> out;
  for (const auto& m : tds_test::messages()) {
    if (m.severity > 10 && m.number < 20000) out.push_back(m.number);
  }
  return out;
}

// Runs sql on c in a thread of its own (db-lib's messages are kept per thread).
std::future<outcome> start(tds_test::connection& c, const std::string& sql) {
  return std::async(std::launch::async, [&c, sql] {
    tds_test::clear_messages();
    outcome o;
    std::vector<tds_test::result> r;
    o.ok = c.exec(sql, &r);
    if (!r.empty() && !r[0].rows.empty()) o.value = r[0].rows[0][0];
    o.numbers = server_errors();
    return o;
  });
}

// An open bulk batch on table k: the row of key 1 and enough others (keys 1000
// and on) that they leave the client, not yet committed.
class open_batch {
 public:
  open_batch(tds::server& srv, std::unique_ptr<tds_test::connection> c) : srv_(srv), c_(std::move(c)) {
    DBPROCESS* p = c_->proc();
    EXPECT_EQ(bcp_init(p, "k", nullptr, nullptr, DB_IN), SUCCEED);
    EXPECT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&id_), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
    EXPECT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(pad_.data()), 0, static_cast<DBINT>(pad_.size()), nullptr, 0, SYBCHAR, 2),
              SUCCEED);
    EXPECT_EQ(bcp_sendrow(p), SUCCEED);
    for (id_ = 1000; id_ < 1000 + rows - 1; ++id_) EXPECT_EQ(bcp_sendrow(p), SUCCEED);
    while (srv_.locks("t", "k").keys == 0) std::this_thread::sleep_for(5ms);
  }
  static constexpr int rows = 61;
  int commit() { return bcp_batch(c_->proc()); }
  void drop() { c_.reset(); }

 private:
  tds::server& srv_;
  std::unique_ptr<tds_test::connection> c_;
  DBINT id_ = 1;
  std::string pad_ = std::string(200, 'x');
};

}  // namespace

TEST_F(tds_server_test, statements_wait_only_on_conflicting_locks_of_an_open_bulk_batch) {
  enum class end { commit, drop, none };
  struct step {
    const char* name;
    const char* sql;
    bool waits;
    end release;
    std::vector<int> errors;  // of the statement once it finished
    const char* value;        // its first cell
    long rows;                // in k afterwards (-1: not checked)
  };
  const long batch = open_batch::rows;
  const step cases[] = {
      {"same key waits, then duplicate", "INSERT INTO k VALUES (1, N'a')", true, end::commit, {2627}, "", batch},
      {"same key times out", "SET LOCK_TIMEOUT 500 INSERT INTO k VALUES (1, N'a')", true, end::none, {1222}, "", -1},
      {"other key goes on", "INSERT INTO k VALUES (2, N'a')", false, end::none, {}, "", 1},
      {"ALTER waits", "ALTER TABLE k ADD extra int NULL", true, end::commit, {}, "", batch},
      {"TRUNCATE waits", "TRUNCATE TABLE k", true, end::commit, {}, "", 0},
      {"SELECT waits and sees the rows", "SELECT COUNT(*) FROM k", true, end::commit, {}, "61", batch},
      {"UPDATE waits", "UPDATE k SET pad = N'b' WHERE id = 1000", true, end::commit, {}, "", batch},
      {"DELETE waits", "DELETE FROM k WHERE id = 1000", true, end::commit, {}, "", batch - 1},
      {"DROP waits", "DROP TABLE k", true, end::commit, {}, "", -1},
      {"SELECT TOP 0 reads no rows", "SELECT TOP 0 * FROM k", false, end::none, {}, "", -1},
      {"dropped holder lets the same key in", "INSERT INTO k VALUES (1, N'a')", true, end::drop, {}, "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto setup = fresh();
    setup->exec("DROP TABLE IF EXISTS k");
    ASSERT_TRUE(setup->exec("CREATE TABLE k (id int PRIMARY KEY, pad nvarchar(200))"));
    open_batch holder(srv(), fresh(true));
    auto other = fresh();
    auto f = start(*other, c.sql);
    if (c.waits && c.release != end::none) {
      EXPECT_EQ(f.wait_for(300ms), std::future_status::timeout);
      if (c.release == end::commit) EXPECT_EQ(holder.commit(), open_batch::rows);
      else holder.drop();
    }
    ASSERT_EQ(f.wait_for(20s), std::future_status::ready);
    const outcome o = f.get();
    EXPECT_EQ(o.numbers, c.errors);
    EXPECT_EQ(o.value, c.value);
    if (c.rows >= 0) {
      EXPECT_EQ(static_cast<long>(srv().row_count("t", "k")), c.rows);
    }
  }
}

TEST_F(tds_server_test, a_wait_ends_on_attention_on_its_closed_connection_and_on_server_stop) {
  fresh()->exec("CREATE TABLE k (id int PRIMARY KEY, pad nvarchar(200))");
  open_batch holder(srv(), fresh(true));
  // Attention (dbcancel) ends the wait; the connection goes on.
  auto other = fresh();
  EXPECT_EQ(other->rows("SELECT 0").at(0).at(0), "0");  // db-lib's pending options go out first
  DBPROCESS* p = other->proc();
  ASSERT_EQ(dbcmd(p, "SELECT COUNT(*) FROM k"), SUCCEED);
  ASSERT_EQ(dbsqlsend(p), SUCCEED);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(dbcancel(p), SUCCEED);
  EXPECT_EQ(other->rows("SELECT 5"), (std::vector<std::vector<std::string>>{{"5"}}));
  // A connection closed while it waits ends its session, and the server stops with waiters.
  {
    auto gone = fresh();
    auto g = start(*gone, "INSERT INTO k VALUES (1, N'a')");
    EXPECT_EQ(g.wait_for(300ms), std::future_status::timeout);
    ::shutdown(dbiordesc(gone->proc()), SHUT_RDWR);
    ASSERT_EQ(g.wait_for(20s), std::future_status::ready);
  }
  for (int i = 0; i < 400 && srv().connections() > 2; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(srv().connections(), 2);
  auto h = start(*other, "SELECT COUNT(*) FROM k");
  EXPECT_EQ(h.wait_for(300ms), std::future_status::timeout);
  srv().stop();
  ASSERT_EQ(h.wait_for(20s), std::future_status::ready);
  EXPECT_FALSE(h.get().ok);
}

TEST_F(tds_server_test, transactions_lock_their_rows_until_commit_or_rollback) {
  auto a = fresh();
  auto b = fresh();
  ASSERT_TRUE(a->exec("CREATE TABLE k (id int PRIMARY KEY, v int)"));
  ASSERT_TRUE(a->exec("INSERT INTO k VALUES (1, 10), (2, 20)"));
  // Errors of transaction statements, and @@TRANCOUNT.
  tds_test::clear_messages();
  EXPECT_FALSE(a->exec("COMMIT"));
  EXPECT_FALSE(a->exec("ROLLBACK TRANSACTION"));
  EXPECT_EQ(server_errors(), (std::vector<int>{3902, 3903}));
  EXPECT_EQ(tds_test::messages().at(0).text, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  EXPECT_EQ(a->rows("BEGIN TRAN BEGIN TRANSACTION t1 SELECT @@TRANCOUNT"), (std::vector<std::vector<std::string>>{{"2"}}));
  ASSERT_TRUE(a->exec("COMMIT TRAN INSERT INTO k VALUES (3, 30) UPDATE k SET v = 11 WHERE id = 1 DELETE FROM k WHERE id = 2"));
  // b waits on a's key, then goes on when a rolls back; all of a's changes are undone.
  auto f = start(*b, "INSERT INTO k VALUES (3, 33)");
  EXPECT_EQ(f.wait_for(300ms), std::future_status::timeout);
  EXPECT_EQ(a->rows("SELECT v FROM k WHERE id = 1"), (std::vector<std::vector<std::string>>{{"11"}}));
  ASSERT_TRUE(a->exec("ROLLBACK"));
  ASSERT_EQ(f.wait_for(20s), std::future_status::ready);
  EXPECT_TRUE(f.get().ok);
  EXPECT_EQ(b->rows("SELECT id, v FROM k ORDER BY id"),
            (std::vector<std::vector<std::string>>{{"1", "10"}, {"2", "20"}, {"3", "33"}}));
  // DDL in a transaction holds the table and is undone; a closed connection rolls back.
  ASSERT_TRUE(a->exec("BEGIN TRAN ALTER TABLE k ADD w int NULL CREATE TABLE n (x int) DELETE FROM k"));
  auto g = start(*b, "SELECT COUNT(*) FROM k");
  EXPECT_EQ(g.wait_for(300ms), std::future_status::timeout);
  a.reset();
  ASSERT_EQ(g.wait_for(20s), std::future_status::ready);
  const outcome o = g.get();
  EXPECT_EQ(o.numbers, std::vector<int>{});
  EXPECT_EQ(o.value, "3");
  EXPECT_EQ(srv().columns("t", "k").size(), 2u);
  EXPECT_FALSE(srv().has_table("t", "n"));
  EXPECT_EQ(srv().row_count("t", "k"), 3u);
}
