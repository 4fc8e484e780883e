// Dates as SQL Server reads them: the session's language and date order
// (the login's default, what the client's login record asks for, SET
// LANGUAGE, SET DATEFORMAT), the forms read alike in every order, month
// names, two-digit years, fractions and rounding; one table per type of
// (setting, text, SQL Server's result).
#include "tests/support/tds_server/tests/tds_errors.h"
#include "tests/support/tds_server/tests/tds_server_env.h"
#include "tests/support/test_dir.h"

#include <cstdlib>
#include <fstream>

using tds_test::error;
using tds_test::run;

namespace {

struct date_case {
  const char* setting;  // statements run first in the session ("SET DATEFORMAT dmy")
  const char* text;     // the literal as written in INSERT
  const char* stored;   // cell_text of the value, or "!241" for the error SQL Server raises
};

// Inserts each text into column `column` of table d and compares what is stored.
void check(tds::server& srv, tds_test::connection& c, const char* column, const std::vector<date_case>& cases) {
  for (const auto& k : cases) {
    const std::string sql = std::string(k.setting) + "; DELETE FROM d; INSERT INTO d (" + column + ") VALUES (" + k.text + ")";
    const auto errs = run(c, sql);
    if (k.stored[0] == '!') {
      ASSERT_FALSE(errs.empty()) << sql;
      EXPECT_EQ(std::to_string(errs[0].number), k.stored + 1) << sql;
      continue;
    }
    ASSERT_TRUE(errs.empty()) << sql << ": " << errs[0];
    std::size_t i = 0;
    const auto cols = srv.columns("t", "d");
    while (cols[i].name != column) ++i;
    EXPECT_EQ(tds::cell_text(cols[i].type, srv.rows("t", "d").at(0).at(i)), k.stored) << sql;
  }
}

}  // namespace

TEST_F(tds_server_test, text_becomes_a_date_by_the_sessions_date_order_and_language) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE d (dt datetime, sdt smalldatetime, da date, dt2 datetime2(7), tm time(7))"));
  const char* mdy = "SET LANGUAGE us_english";
  const char* dmy = "SET DATEFORMAT dmy";
  check(srv(), *c, "dt", {
      {mdy, "'05/06/2004'", "2004-05-06 00:00:00.000"},
      {dmy, "'05/06/2004'", "2004-06-05 00:00:00.000"},
      {"SET LANGUAGE British", "'05/06/2004'", "2004-06-05 00:00:00.000"},
      {"SET LANGUAGE Deutsch", "'05.06.2004'", "2004-06-05 00:00:00.000"},
      {"SET LANGUAGE N'Fran\xC3\xA7" "ais'", "'05/06/2004'", "2004-06-05 00:00:00.000"},
      {"SET DATEFORMAT ymd", "'04/05/06'", "2004-05-06 00:00:00.000"},
      {"SET DATEFORMAT ydm", "'04/05/06'", "2004-06-05 00:00:00.000"},
      {"SET DATEFORMAT myd", "'05/2004/06'", "2004-05-06 00:00:00.000"},
      {"SET DATEFORMAT dym", "'06/2004/05'", "2004-05-06 00:00:00.000"},
      {dmy, "'2004-05-06 10:20'", "2004-06-05 10:20:00.000"},  // not ISO 8601 to datetime
      {dmy, "'20040506 10:20:30.5'", "2004-05-06 10:20:30.500"},
      {dmy, "'2004-05-06T10:20:30.123'", "2004-05-06 10:20:30.123"},
      {dmy, "{ts '2004-05-06 10:20:30'}", "2004-05-06 10:20:30.000"},
      {mdy, "'13/05/2004'", "!242"},
      {mdy, "'02/30/2004'", "!242"},
      {mdy, "'2004-05-06 10:20:30.1234'", "!241"},  // more than three fractional digits
      {mdy, "'5/6/49'", "2049-05-06 00:00:00.000"},
      {mdy, "'5/6/50'", "1950-05-06 00:00:00.000"},
      {dmy, "'May 6, 2004'", "2004-05-06 00:00:00.000"},
      {mdy, "'6 May 2004'", "2004-05-06 00:00:00.000"},
      {mdy, "'2004 may 6'", "2004-05-06 00:00:00.000"},
      {mdy, "'6-May-04'", "2004-05-06 00:00:00.000"},
      {mdy, "'May 2004'", "2004-05-01 00:00:00.000"},
      {"SET LANGUAGE Deutsch", "'6. M\xC3\xA4rz 2004'", "2004-03-06 00:00:00.000"},
      {"SET LANGUAGE Deutsch", "'6 May 2004'", "!241"},  // month names of the session's language only
      {mdy, "'1/1/98 23:59:59.999'", "1998-01-02 00:00:00.000"},
      {mdy, "'1/1/98 23:59:59.992'", "1998-01-01 23:59:59.993"},
      {mdy, "'14:30:20:9'", "1900-01-01 14:30:20.010"},  // a colon: thousandths
      {mdy, "'2004-05-06 4 PM'", "2004-05-06 16:00:00.000"},
      {mdy, "'2004-05-06 12:01 AM'", "2004-05-06 00:01:00.000"},
      {mdy, "'2004-05-06 0:30 PM'", "!241"},
      {mdy, "'2004-05-06 13:00 AM'", "!241"},
      {mdy, "1.5", "1900-01-02 12:00:00.000"},  // a number keeps its fraction as the time of day
      {mdy, "-0.25", "1899-12-31 18:00:00.000"},
      {mdy, "CAST(2.75 AS float)", "1900-01-03 18:00:00.000"},
      {mdy, "3000000", "!8115"},
  });
  check(srv(), *c, "sdt", {
      {mdy, "'2004-05-06 10:20:29.998'", "2004-05-06 10:20:00"},
      {mdy, "'2004-05-06 10:20:29.999'", "2004-05-06 10:21:00"},
      {dmy, "'06/05/2004 23:59:59'", "2004-05-07 00:00:00"},
      {mdy, "'2079-06-06 23:59:30'", "!242"},
      {mdy, "'2004-05-06 10:20:29.1234'", "!241"},
  });
  check(srv(), *c, "da", {
      {dmy, "'2004-05-06'", "2004-05-06"},  // ISO 8601 to date in every order
      {dmy, "'05/06/2004'", "2004-06-05"},
      {"SET DATEFORMAT ydm", "'04/05/06'", "2004-05-06"},  // ydm does not apply to date
      {"SET DATEFORMAT ydm", "'2004/05/06'", "2004-05-06"},
      {mdy, "'040506'", "2004-05-06"},
      {mdy, "'2004'", "2004-01-01"},
      {mdy, "'13/05/2004'", "!241"},
  });
  check(srv(), *c, "dt2", {
      {dmy, "'31/12/2008 09:01:01.1234567'", "2008-12-31 09:01:01.1234567"},
      {dmy, "'12/31/2008 09:01:01.1234567'", "!241"},
      {dmy, "'2008-12-31 09:01:01.1234567'", "2008-12-31 09:01:01.1234567"},
      {mdy, "'2008-12-31 09:01:01.12345678'", "!241"},
  });
  check(srv(), *c, "tm", {
      {mdy, "'01:01:01:123AM'", "01:01:01.1230000"},
      {mdy, "'01:01:01.1234567 PM'", "13:01:01.1234567"},
      {mdy, "'12:01 AM'", "00:01:00.0000000"},
  });
}

TEST_F(tds_server_test, text_becomes_money_a_number_or_a_guid_as_sql_server_reads_it) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE d (m money, sm smallmoney, i int, dec decimal(10,2), f float, r real, g uniqueidentifier)"));
  const char* none = "SET DATEFORMAT mdy";
  check(srv(), *c, "m", {
      {none, "'$1,234.56'", "1234.5600"},
      {none, "N'\xE2\x82\xAC 1,000.00'", "1000.0000"},
      {none, "' -$5 '", "-5.0000"},
      {none, "'$-5.5'", "-5.5000"},
      {none, "'\xC2\xA3" "12'", "12.0000"},
      {none, "'1,,000'", "!235"},
      {none, "'5$'", "!235"},
      {none, "'1e3'", "!235"},
  });
  check(srv(), *c, "sm", {{none, "'$214,748.3647'", "214748.3647"}, {none, "'$214,748.3648'", "!8115"}});
  check(srv(), *c, "i", {{none, "'$5'", "!245"}, {none, "'1,234'", "!245"}, {none, "' 12 '", "12"}});
  check(srv(), *c, "dec", {{none, "'$5'", "!8114"}, {none, "'1,234.5'", "!8114"}, {none, "'1234.567'", "1234.57"}});
  check(srv(), *c, "f", {
      {none, "'NaN'", "!8114"}, {none, "'inf'", "!8114"}, {none, "'-Infinity'", "!8114"}, {none, "'1,5'", "!8114"},
      {none, "'$1'", "!8114"}, {none, "'1e3'", "1000"}, {none, "' -2.5 '", "-2.5"},
  });
  check(srv(), *c, "r", {{none, "'nan'", "!8114"}, {none, "'0.5'", "0.5"}});
  check(srv(), *c, "g", {
      {none, "'0E984725-C51C-4BF4-9960-E1C80E27ABA0wrong'", "0E984725-C51C-4BF4-9960-E1C80E27ABA0"},
      {none, "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}x'", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
      {none, "'0E984725-C51C-4BF4'", "!8169"},
  });
}

TEST_F(tds_server_test, the_date_order_applies_to_update_convert_and_where_alike) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE w (id int, at datetime); INSERT INTO w VALUES (1, NULL)"));
  ASSERT_TRUE(c->exec("SET DATEFORMAT dmy; UPDATE w SET at = CONVERT(datetime, '05/06/2004') WHERE id = 1"));
  EXPECT_EQ(tds::cell_text(srv().columns("t", "w")[1].type, srv().rows("t", "w")[0][1]), "2004-06-05 00:00:00.000");
  EXPECT_EQ(c->rows("SELECT COUNT(*) FROM w WHERE at = '05/06/2004'").at(0).at(0), "1");
  EXPECT_EQ(c->rows("SET DATEFORMAT mdy; SELECT COUNT(*) FROM w WHERE at = '05/06/2004'").at(0).at(0), "0");
  EXPECT_EQ(c->rows("SELECT COUNT(*) FROM w WHERE at = '20040605'").at(0).at(0), "1");
  EXPECT_EQ(run(*c, "SET DATEFORMAT xyz"), (std::vector<error>{{2741, 16, 1, "SET DATEFORMAT date order 'xyz' is invalid."}}));
  EXPECT_EQ(run(*c, "SET LANGUAGE Klingon"),
            (std::vector<error>{{2740, 16, 1, "SET LANGUAGE failed because 'Klingon' is not an official language name or a "
                                              "language alias on this SQL Server."}}));
}

// A login's default language reaches the session only when the client's login
// record names none. FreeTDS's db-lib names the language set by DBSETLNATLANG,
// else freetds.conf's "language" (us_english unless the file sets it, empty
// when it sets it empty).
TEST_F(tds_server_test, a_sessions_language_is_the_logins_unless_the_login_record_names_one) {
  srv().add_login("brit", "pw-Brit-1");
  srv().execute("ALTER LOGIN [brit] WITH DEFAULT_LANGUAGE = British; "
                "CREATE LOGIN [hans] WITH PASSWORD = N'pw-Hans-1', DEFAULT_LANGUAGE = Deutsch, CHECK_POLICY = OFF");
  test_dir dir;
  const std::string conf = (dir / "freetds.conf").string();
  std::ofstream(conf) << "[global]\n\tlanguage =\n";
  struct login_case {
    const char* login;
    const char* password;
    bool empty_conf;    // freetds.conf sets language to nothing
    const char* asked;  // DBSETLNATLANG (null: not called)
    const char* sent;   // what the login record carried
    const char* language;
    const char* changed;  // message 5703
  };
  const login_case cases[] = {
      {"brit", "pw-Brit-1", false, nullptr, "us_english", "us_english", "Changed language setting to us_english."},
      {"brit", "pw-Brit-1", false, "", "us_english", "us_english", "Changed language setting to us_english."},
      {"brit", "pw-Brit-1", true, nullptr, "", "British", "Changed language setting to British."},
      {"hans", "pw-Hans-1", true, nullptr, "", "Deutsch", "Die Spracheneinstellung wurde in Deutsch ge\xC3\xA4ndert."},
      {"brit", "pw-Brit-1", false, "french", "french", "Fran\xC3\xA7" "ais",
       "Le param\xC3\xA8tre de langue est pass\xC3\xA9 \xC3\xA0 Fran\xC3\xA7" "ais."},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.login) + (k.empty_conf ? " empty conf" : "") + " asking " + (k.asked ? k.asked : "(nothing)"));
    tds_test::clear_messages();
    if (k.empty_conf) ::setenv("FREETDSCONF", conf.c_str(), 1);
    tds_test::connection c("127.0.0.1", srv().port(), k.login, k.password, "", false, k.asked);
    ::unsetenv("FREETDSCONF");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(srv().logins_received().back().language, k.sent);
    bool changed = false;
    for (const auto& m : tds_test::messages()) changed = changed || (m.number == 5703 && m.text == k.changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ(c.rows("SELECT @@LANGUAGE").at(0).at(0), k.language);
  }
  tds_test::clear_messages();
  tds_test::connection refused("127.0.0.1", srv().port(), "brit", "pw-Brit-1", "", false, "Klingon");
  EXPECT_FALSE(refused.ok());
  ASSERT_FALSE(tds_test::messages().empty());
  EXPECT_EQ(tds_test::messages()[0].number, 4019);
  EXPECT_EQ(tds_test::messages()[0].text, "Language requested in login 'Klingon' is not an official language name on this SQL Server. Login fails.");
  EXPECT_THROW(srv().execute("ALTER LOGIN [brit] WITH DEFAULT_LANGUAGE = Klingon"), tds::sql_error);
}
