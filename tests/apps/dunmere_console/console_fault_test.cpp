// The road under faults, through the real program: another session's lock on
// a table, an answer to a committed batch that never arrives.
#include <xlsxwriter.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <map>
#include <regex>
#include <set>

#include "tests/apps/dunmere_console/console_env.h"
#include "tests/support/tds_relay.h"
#include "tests/support/tds_server/tests/dblib_client.h"

namespace {

class FaultRun : public console_test {
 protected:
  // An environment variable for the runs of one test case.
  struct scoped_env {
    scoped_env(const char* name, const char* value) : name_(name) { ::setenv(name, value, 1); }
    ~scoped_env() { ::unsetenv(name_); }
    const char* name_;
  };
  std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
};

// Another session's open transaction holds a row of the first worksheet's
// table: that table ends with one error naming it once the wait is over, and
// the next worksheet is converted.
TEST_F(FaultRun, ATableAnotherSessionHoldsEndsAloneAndAtOnce) {
  const std::string book = path("two.xlsx");
  lxw_workbook* wb = workbook_new(book.c_str());
  for (const char* name : {"Held", "Free"}) {
    lxw_worksheet* sheet = workbook_add_worksheet(wb, name);
    worksheet_write_string(sheet, 0, 0, "id", nullptr);
    for (int r = 1; r <= 200; ++r) worksheet_write_number(sheet, static_cast<lxw_row_t>(r), 0, r, nullptr);
  }
  workbook_close(wb);
  server->execute("CREATE DATABASE books");
  server->execute("CREATE TABLE Held (id float)", "books");
  tds_test::connection other("127.0.0.1", server->port(), "sa", server->password(), "books");
  ASSERT_TRUE(other.exec("BEGIN TRAN INSERT INTO Held VALUES (0)"));
  scoped_env wait("ORV_MSS_LOCK_TIMEOUT", "2");
  const auto start = std::chrono::steady_clock::now();
  const console_result r = run({"--src=" + book, "--dest=books", "--extr_fn", "--mode=3"});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  EXPECT_LT(took, std::chrono::seconds(12));
  EXPECT_EQ(count(r.out, "Error:"), 1u) << r.out;
  EXPECT_NE(r.out.find("Table 'Held' is locked by another session: the lock was waited for 2 seconds"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(table("books", "Free").size(), 200u);
  ASSERT_TRUE(other.exec("ROLLBACK"));
  EXPECT_EQ(table("books", "Held"), rows_t{});
}

}  // namespace

namespace {

// The answer to a committed batch never arrives, in the middle of a CSV file
// (the batch of 1,000 records, or the commit before a long value widens its
// column) and of a workbook with long values: every record is stored once,
// with its values.
TEST_F(FaultRun, ALostAnswerToACommitStoresEveryRecordOnce) {
  std::string csv = "id;name\n";
  for (int i = 1; i <= 1500; ++i)
    csv += std::to_string(i) + ";" + (i == 1200 ? std::string(300, 'w') : "n" + std::to_string(i)) + "\n";
  write("a.csv", csv);
  const std::string book = path("long.xlsx");
  lxw_workbook* wb = workbook_new(book.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(wb, "Long");
  worksheet_write_string(sheet, 0, 0, "id", nullptr);
  worksheet_write_string(sheet, 0, 1, "text", nullptr);
  auto long_text = [](int i) { return std::string(5000, static_cast<char>('a' + i % 26)) + std::to_string(i); };
  for (int r = 1; r <= 1500; ++r) {
    worksheet_write_number(sheet, static_cast<lxw_row_t>(r), 0, r, nullptr);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 1, long_text(r).c_str(), nullptr);
  }
  workbook_close(wb);
  const struct {
    const char* name;
    bool csv;
    int lost_batch;
  } cases[] = {{"CSV, at the batch size", true, 1}, {"CSV, before the column is widened", true, 2},
               {"workbook with long values", false, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server->set_drop_after_bulk_commit(c.lost_batch);
    const console_result r =
        c.csv ? run({"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=t", "--dest=csvdb"})
              : run({"--src=" + book, "--dest=books", "--extr_fn"});
    server->set_drop_after_bulk_commit(0);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const rows_t rows = c.csv ? table_rows("t") : table("books", "Long");
    std::map<int, std::string> stored;
    for (const auto& row : rows) EXPECT_TRUE(stored.emplace(std::stoi(row[0]), row[1]).second) << "twice: " << row[0];
    ASSERT_EQ(stored.size(), 1500u);
    for (int i = 1; i <= 1500; ++i) {
      const std::string expected = !c.csv ? long_text(i) : i == 1200 ? std::string(300, 'w') : "n" + std::to_string(i);
      EXPECT_TRUE(stored[i] == expected) << i;
    }
  }
}

}  // namespace

namespace {

// The records an account names: "record #7", "records #7 to #9", "records #7,
// #14 and #21", or "the N records that go by statement|bulk load from #a to
// #b" (in these files the records with an empty note, every 7th, go by
// statement).
std::set<int> named_records(const std::string& text) {
  std::smatch m;
  std::set<int> records;
  if (std::regex_match(text, m, std::regex(R"(the (\d+) records that go by (statement|bulk load) from #(\d+) to #(\d+))"))) {
    for (int i = std::stoi(m[3]); i <= std::stoi(m[4]); ++i)
      if ((i % 7 == 0) == (m[2] == "statement")) records.insert(i);
    EXPECT_EQ(records.size(), std::stoul(m[1])) << text;
  } else if (std::regex_match(text, m, std::regex(R"(records #(\d+) to #(\d+))"))) {
    for (int i = std::stoi(m[1]); i <= std::stoi(m[2]); ++i) records.insert(i);
  } else {
    static const std::regex number(R"(#(\d+))");
    for (std::sregex_iterator i(text.begin(), text.end(), number), end; i != end; ++i)
      records.insert(std::stoi((*i)[1]));
  }
  return records;
}

// What a lost connection's error says of the table's records: those certainly
// stored, and those whose fate cannot be told.
struct account {
  std::set<int> stored, in_doubt;
};
account told_account(const std::string& error) {
  account a;
  std::smatch m;
  std::set<int> sent;
  std::string fate;
  if (std::regex_search(error, m, std::regex(R"(When it was lost, (.*?) had been sent(: (it is|they are) (not )?stored|; whether))"))) {
    sent = named_records(m[1]);
    fate = m[4].matched ? "not stored" : m[3].matched ? "stored" : "in doubt";
  }
  if (!std::regex_search(error, m, std::regex(R"(from #(\d+) on are not stored(, and before them (.*) (is|are) not stored either)?)"))) {
    ADD_FAILURE() << "no account: " << error;
    return a;
  }
  const std::set<int> earlier = m[3].matched ? named_records(m[3]) : std::set<int>{};
  for (int i = 1; i < std::stoi(m[1]); ++i)
    if (!earlier.count(i)) a.stored.insert(i);
  for (int i : sent) {
    if (fate == "stored") a.stored.insert(i);
    if (fate == "in doubt") a.stored.erase(i), a.in_doubt.insert(i);
  }
  return a;
}

// The connection is lost at one request of a CSV run (the relay drops it as
// the server's answer arrives, the request done; or the server drops its bulk
// connection): the run ends at once with one error naming the table, and what
// it says is stored is what the table holds.
TEST_F(FaultRun, ALostConnectionEndsTheRunWithOneTrueAccount) {
  std::string empties = "id;note\n";  // every 7th note empty: those records go by statement
  for (int i = 1; i <= 1200; ++i) empties += std::to_string(i) + ";" + (i % 7 ? "n" + std::to_string(i) : "") + "\n";
  write("empties.csv", empties);
  std::string wide = "id;note\n";  // #150 widens its column
  for (int i = 1; i <= 400; ++i) wide += std::to_string(i) + ";" + (i == 150 ? std::string(300, 'w') : "n") + "\n";
  write("wide.csv", wide);
  write("few.csv", "id;note\n1;a\n2;b\n");
  server->set_encryption(tds::encryption_mode::not_supported);  // the relay reads the requests
  // Each run replaces (mode 1) the table of an earlier one in a database of its own.
  const auto run_through = [&](tds_relay& relay, const std::string& file, const std::string& db) {
    server->execute("CREATE DATABASE " + db);
    server->execute("CREATE TABLE t (id nvarchar(255), note nvarchar(255))", db);
    server->execute("INSERT INTO t VALUES (N'100', N'old'), (N'101', N'old'), (N'102', N'old')", db);
    return run_console(dir, {"--host=127.0.0.1," + std::to_string(relay.port()), "--user=sa",
                             "--pswd=" + server->password(), "--src=" + path(file), "--from_csv", "--extr_fn",
                             "--csv_delim=1", "--tab_name=t", "--dest=" + db, "--mode=1"});
  };
  // The bulk load's connection is the first that carries one in a run without fault.
  int bulk_connection = 0;
  {
    tds_relay relay(server->port());
    run_through(relay, "empties.csv", "dry");
    const std::vector<bool> bulk = relay.bulk_connections();
    bulk_connection = static_cast<int>(std::find(bulk.begin(), bulk.end(), true) - bulk.begin()) + 1;
  }
  std::set<int> statement_rows;
  for (int i = 7; i <= 700; i += 7) statement_rows.insert(i);
  const struct {
    const char* name;
    const char* file;
    std::function<void(tds_relay&)> fault;
    const char* said;               // in the error
    std::set<int> in_doubt;         // the records whose fate cannot be told
    long drop_after_bulk_rows = -1;  // the server's own knob
  } cases[] = {
      {"the first statement of empty-field rows", "empties.csv",
       [](tds_relay& r) { r.lose_batch_answer("INSERT INTO", 1); }, "had been sent: they are stored.", {}},
      {"the same, the server unreachable afterwards", "empties.csv",
       [](tds_relay& r) { r.lose_batch_answer("INSERT INTO", 1, true); }, "whether they are stored cannot be told",
       statement_rows},
      {"the load's opening after the widening ALTER", "wide.csv",
       [](tds_relay& r) { r.lose_batch_answer("SELECT TOP 0", 1, false, "ALTER TABLE"); },
       "Records from #150 on are not stored.", {}},
      {"the bulk connection's login", "empties.csv", [&](tds_relay& r) { r.lose_login_answer(bulk_connection); },
       "Records from #1 on are not stored.", {}},
      {"the server drops the bulk connection", "empties.csv", [](tds_relay&) {},
       "the 1000 records that go by bulk load from #1 to #1166 had been sent: they are not stored.", {}, 500},
      {"the DROP of the table replaced", "few.csv", [](tds_relay& r) { r.lose_batch_answer("DROP TABLE [dbo].[t]", 1); },
       "The connection to the server was lost while dropping table 't' (", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string db = "lost" + std::to_string(&c - cases);
    tds_relay relay(server->port());
    c.fault(relay);
    server->set_drop_after_bulk_rows(c.drop_after_bulk_rows);
    const console_result r = run_through(relay, c.file, db);
    server->set_drop_after_bulk_rows(-1);
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(count(r.out, "Error:"), 1u) << r.out;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
    if (std::string(c.file) == "few.csv") {
      EXPECT_NE(r.out.find("): the table was dropped, and its rows are gone."), std::string::npos) << r.out;
      EXPECT_FALSE(server->has_table(db, "t"));
    } else {
      // The table dropped to be replaced first, then what stands of its new one.
      EXPECT_NE(r.out.find("Error:\nTable 't' was dropped to be replaced (its earlier rows are gone). Table 't': the "
                           "connection to the server was lost ("),
                std::string::npos)
          << r.out;
      const account said = told_account(r.out);
      std::set<int> stored;
      for (const auto& row : table_rows("t", db))
        if (row[1] != "old") {
          EXPECT_TRUE(stored.insert(std::stoi(row[0])).second) << "twice: " << row[0];
        }
      EXPECT_EQ(said.in_doubt, c.in_doubt);
      for (int i : said.stored) EXPECT_TRUE(stored.count(i)) << "said stored, not stored: #" << i;
      for (int i : stored) EXPECT_TRUE(said.stored.count(i) || said.in_doubt.count(i)) << "stored, not said: #" << i;
    }
  }
}

}  // namespace
