// The road under faults, through the real program: another session's lock on
// a table, an answer to a committed batch that never arrives.
#include <xlsxwriter.h>

#include <chrono>
#include <cstdlib>

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
