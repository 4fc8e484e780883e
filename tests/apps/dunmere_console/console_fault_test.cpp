// The road under faults, through the real program: another session's lock on
// a table, an answer to a committed batch that never arrives.
#include <xlsxwriter.h>

#include <chrono>
#include <cstdlib>
#include <map>

#include "tests/apps/dunmere_console/console_env.h"
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
