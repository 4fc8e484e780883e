// Collations: the database's and each column's, kept and reported (result
// metadata, INFORMATION_SCHEMA.COLUMNS, COLLATIONPROPERTY,
// DATABASEPROPERTYEX); char and varchar text stored in the column's code page
// by statements, db-lib's bulk copy and freebcp.
#include <fstream>

#include "tests/support/tds_server/tests/tds_server_env.h"
#include "tests/support/tds_server/tests/tds_errors.h"
#include "tests/support/test_dir.h"

using tds_test::error;
using tds_test::run;

namespace {

const char* const privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80";  // Привет мир
const char* const privet_1251 = "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0";
const char* const geia = "\xCE\x93\xCE\xB5\xCE\xB9\xCE\xAC";                // Γειά
const char* const test_ja = "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88";          // テスト

// COLLATIONPROPERTY answers a sql_variant, which FreeTDS's db-lib cannot
// convert (dbconvert fails): a db-lib client asks for an int.
const char* const code_pages =
    "SELECT COLUMN_NAME, CONVERT(int, COLLATIONPROPERTY(COLLATION_NAME, 'CodePage')) FROM INFORMATION_SCHEMA.COLUMNS "
    "WHERE TABLE_SCHEMA = N'dbo' AND TABLE_NAME = N'c'";

}  // namespace

TEST_F(tds_server_test, columns_keep_their_collation_and_report_it) {
  for (const char* version : {tds::version_2019, tds::version_2000}) {
    SCOPED_TRACE(version);
    srv().set_version(version);
    auto c = fresh();
    ASSERT_TRUE(c->exec("DROP TABLE IF EXISTS c; CREATE TABLE c (a varchar(20), b varchar(20) COLLATE Cyrillic_General_CI_AS, "
                        "g varchar(20) COLLATE greek_ci_as, j varchar(20) COLLATE Japanese_CI_AS, "
                        "n nvarchar(20) COLLATE Latin1_General_100_CS_AS, x int)"));
    ASSERT_TRUE(c->exec("ALTER TABLE c ADD l varchar(10) COLLATE SQL_Latin1_General_CP1_CS_AS; "
                        "ALTER TABLE c ALTER COLUMN a varchar(30) COLLATE Cyrillic_General_100_CI_AS"));
    EXPECT_EQ(c->rows(code_pages), (std::vector<std::vector<std::string>>{
                                       {"a", "1251"}, {"b", "1251"}, {"g", "1253"}, {"j", "932"}, {"n", "1252"}, {"x", "NULL"}, {"l", "1252"}}));
    EXPECT_EQ(c->rows("SELECT DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, CHARACTER_OCTET_LENGTH, COLLATION_NAME FROM INFORMATION_SCHEMA.COLUMNS "
                      "WHERE TABLE_NAME = N'c' AND COLUMN_NAME = N'n'"),
              (std::vector<std::vector<std::string>>{{"nvarchar", "20", "40", "Latin1_General_100_CS_AS"}}));
    EXPECT_EQ(c->rows("SELECT COLLATION_NAME FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = N'c' AND COLUMN_NAME = N'g'").at(0).at(0),
              "Greek_CI_AS");
  }
  srv().set_version(tds::version_2019);
  auto c = fresh();
  struct property_case {
    const char* collation;
    const char* property;
    const char* value;
  } properties[] = {
      {"SQL_Latin1_General_CP1_CI_AS", "CodePage", "1252"}, {"SQL_Latin1_General_CP1_CI_AS", "LCID", "1033"},
      {"SQL_Latin1_General_CP1_CI_AS", "ComparisonStyle", "196609"}, {"Latin1_General_CS_AS", "ComparisonStyle", "196608"},
      {"Latin1_General_BIN2", "ComparisonStyle", "0"}, {"Latin1_General_100_CI_AS", "Version", "2"},
      {"Japanese_XJIS_140_CI_AS", "Version", "3"}, {"Japanese_90_CI_AS", "Version", "1"},
      {"Cyrillic_General_CI_AS", "LCID", "1049"}, {"Greek_100_CS_AS", "CodePage", "1253"},
      {"Latin1_General_CI_XX", "CodePage", "NULL"}, {"Klingon_CI_AS", "CodePage", "NULL"},
  };
  for (const auto& k : properties) {
    EXPECT_EQ(c->rows(std::string("SELECT CONVERT(nvarchar(30), COLLATIONPROPERTY('") + k.collation + "', '" + k.property + "'))").at(0).at(0), k.value)
        << k.collation << " " << k.property;
  }
  ASSERT_TRUE(c->exec("CREATE DATABASE cy COLLATE cyrillic_general_ci_as"));
  std::vector<tds_test::result> results;  // 98: db-lib's type of a sql_variant
  ASSERT_TRUE(c->exec("SELECT COLLATIONPROPERTY('Greek_CI_AS', 'CodePage'), DATABASEPROPERTYEX('t', 'Collation')", &results));
  EXPECT_EQ(results.at(0).types, (std::vector<int>{98, 98}));
  EXPECT_EQ(c->rows("SELECT CONVERT(sysname, DATABASEPROPERTYEX('cy', 'Collation')), CONVERT(sysname, DATABASEPROPERTYEX('t', 'Collation'))").at(0),
            (std::vector<std::string>{"Cyrillic_General_CI_AS", "SQL_Latin1_General_CP1_CI_AS"}));
  EXPECT_EQ(run(*c, "CREATE TABLE bad (v varchar(5) COLLATE Latin1_General_CI_XX)"),
            (std::vector<error>{{448, 16, 1, "Invalid collation 'Latin1_General_CI_XX'."}}));
  EXPECT_EQ(run(*c, "CREATE DATABASE bad COLLATE Nowhere_CI_AS"), (std::vector<error>{{448, 16, 1, "Invalid collation 'Nowhere_CI_AS'."}}));
}

TEST_F(tds_server_test, text_is_stored_in_the_code_page_of_its_columns_collation) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE c (id int, b varchar(20) COLLATE Cyrillic_General_CI_AS, g varchar(20) COLLATE Greek_CI_AS, "
                      "j varchar(20) COLLATE Japanese_CI_AS, l varchar(20), n nvarchar(20) COLLATE Cyrillic_General_CI_AS)"));
  ASSERT_TRUE(c->exec(std::string("INSERT INTO c VALUES (1, N'") + privet + "', N'" + geia + "', N'" + test_ja +
                      "', N'\xC4\x81\xC5\x9B\xD0\x96', N'" + privet + "')"));
  // A literal without N is in the database's code page (here 1252) before it reaches any column.
  ASSERT_TRUE(c->exec(std::string("INSERT INTO c (id, b, n) VALUES (2, '") + privet + "', '" + privet + "')"));
  const auto rows = srv().rows("t", "c");
  EXPECT_EQ(rows[0][1].bytes, privet_1251);
  EXPECT_EQ(rows[0][2].bytes, "\xC3\xE5\xE9\xDC");
  EXPECT_EQ(rows[0][3].bytes, "\x83\x65\x83\x58\x83\x67");
  EXPECT_EQ(rows[0][4].bytes, "as?");  // the letters without their accents where the code page lacks them, else '?'
  EXPECT_EQ(rows[1][1].bytes, "?????? ???");
  EXPECT_EQ(tds::cell_utf8(srv().columns("t", "c")[5].type, rows[1][5]), "?????? ???");
  // FreeTDS reads each column in its own code page.
  EXPECT_EQ(c->rows("SELECT b, g, j, n FROM c WHERE id = 1").at(0), (std::vector<std::string>{privet, geia, test_ja, privet}));
  EXPECT_EQ(c->rows(std::string("SELECT COUNT(*) FROM c WHERE b = N'") + privet + "'").at(0).at(0), "1");

  // A database of another collation: its columns and its '...' literals are in its code page.
  ASSERT_TRUE(c->exec(std::string("CREATE DATABASE cy COLLATE Cyrillic_General_CI_AS; USE cy; CREATE TABLE r (v varchar(20)); "
                                  "INSERT INTO r VALUES ('") + privet + "')"));
  EXPECT_EQ(srv().rows("cy", "r").at(0).at(0).bytes, privet_1251);
  EXPECT_EQ(c->rows("SELECT v FROM r").at(0).at(0), privet);
}

TEST_F(tds_server_test, case_sensitive_collations_keep_keys_apart) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE k (ci varchar(5) COLLATE Latin1_General_CI_AS UNIQUE, cs varchar(5) COLLATE Latin1_General_CS_AS UNIQUE)"));
  ASSERT_TRUE(c->exec("INSERT INTO k VALUES ('a', 'a')"));
  EXPECT_TRUE(c->exec("INSERT INTO k VALUES ('b', 'A')"));
  EXPECT_FALSE(c->exec("INSERT INTO k VALUES ('A', 'c')"));
  EXPECT_TRUE(tds_test::has_message(2627));
}

// What FreeTDS 1.3.17's bulk copy sends into a column of code page 1251:
// db-lib's bcp_sendrow the bytes as bound, freebcp the file's UTF-8 text
// converted to the column's code page; its bulk metadata gives every text
// column the connection's collation (the database's), and its insert bulk
// statement names none. The server reads the bytes in the code page of that
// collation: right in a database of code page 1251, changed in one of 1252
// (each byte read as 1252, its character put in 1251 as near as it has one).
TEST_F(tds_server_test, bulk_text_is_read_in_the_code_page_its_load_declares) {
  const std::string in_1252_read_as_1251 = "I?eaao ie?";
  struct database_case {
    const char* database;
    const char* collate;
    std::string stored;
  } cases[] = {{"lat", "", in_1252_read_as_1251}, {"cyr", " COLLATE Cyrillic_General_CI_AS", privet_1251}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.database);
    srv().execute(std::string("CREATE DATABASE ") + k.database + k.collate);
    srv().execute("CREATE TABLE bc (id int, v varchar(20) COLLATE Cyrillic_General_CI_AS)", k.database);
    {
      tds_test::connection c("127.0.0.1", srv().port(), "sa", "orv-Test-1", k.database, true);
      DBPROCESS* p = c.proc();
      ASSERT_EQ(bcp_init(p, "bc", nullptr, nullptr, DB_IN), SUCCEED);
      DBINT id = 1;
      ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&id), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
      ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(const_cast<char*>(privet_1251)), 0, 10, nullptr, 0, SYBCHAR, 2), SUCCEED);
      ASSERT_EQ(bcp_sendrow(p), SUCCEED);
      EXPECT_EQ(bcp_done(p), 1);
    }
    test_dir dir;
    std::ofstream(dir / "in.tsv", std::ios::binary) << "2\t" << privet << "\n";
    const std::string out = tds_test::command_output("TDSVER=7.4 freebcp " + std::string(k.database) + ".dbo.bc in " +
                                                     (dir / "in.tsv").string() + " -c -S 127.0.0.1:" + std::to_string(srv().port()) +
                                                     " -U sa -P orv-Test-1");
    ASSERT_NE(out.find("1 rows copied"), std::string::npos) << out;
    const auto rows = srv().rows(k.database, "bc");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1].bytes, k.stored);
    EXPECT_EQ(rows[1][1].bytes, in_1252_read_as_1251);
  }
  // A load statement that names a collation for a column (as later FreeTDS versions write it) is accepted.
  srv().execute("CREATE TABLE bc2 (v varchar(20) COLLATE Cyrillic_General_CI_AS)", "lat");
  auto c = fresh();
  ASSERT_TRUE(c->exec("USE lat; INSERT BULK bc2 ([v] varchar(20) COLLATE Cyrillic_General_CI_AS)"));
}
