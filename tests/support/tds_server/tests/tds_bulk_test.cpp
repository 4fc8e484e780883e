// Bulk loads: FreeTDS's freebcp in and out, db-lib's bcp calls with every
// type found exact through the inspection API, and the bulk knobs.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "tests/support/tds_server/tests/tds_server_env.h"
#include "tests/support/test_dir.h"

namespace {

std::string utf16le(const std::u16string& s) {
  std::string b;
  for (char16_t c : s) { b.push_back(static_cast<char>(c & 0xFF)); b.push_back(static_cast<char>(c >> 8)); }
  return b;
}

std::string freebcp(const tds::server& s, const std::string& args) {
  return tds_test::command_output("TDSVER=7.4 freebcp " + args + " -S 127.0.0.1:" + std::to_string(s.port()) + " -U sa -P orv-Test-1");
}

const char* const all_types_table =
    "CREATE TABLE a (ti tinyint, si smallint, i int, bi bigint, b bit, r real, f float, m money, sm smallmoney, "
    "dt datetime, sdt smalldatetime, d date, t time(3), dt2 datetime2(3), dec decimal(38,10), num numeric(5,2), "
    "nv nvarchar(20), nvm nvarchar(max), vc varchar(10), vcm varchar(max), ch char(3), nch nchar(2), nt ntext, "
    "tx text, vb varbinary(8), vbm varbinary(max), bin binary(2), img image, g uniqueidentifier)";

}  // namespace

TEST_F(tds_server_test, freebcp_loads_every_type_and_reads_it_back_identical) {
  fresh()->exec(all_types_table);
  test_dir dir;
  // In freebcp's own text forms, so that out writes the same bytes.
  const std::string rows =
      "255\t-32768\t-2147483648\t9223372036854775807\t1\t1.5\t-2.25e+300\t-922337203685477.5808\t214748.3647\t"
      "2024-02-29 23:59:59.997\t2079-06-06 12:30:00.000\t2024-02-29 00:00:00.000\t1900-01-01 23:59:59.123\t"
      "9999-12-31 23:59:59.999\t-1234567890123456789012345678.0123456789\t123.45\temoji \xF0\x9F\x98\x80 ok\tlong\t"
      "caf\xC3\xA9\tvcmax\tab \t\xE4\xB8\xAD\xE6\x96\x87\t\xE4\xB8\xAD\xE6\x96\x87 ntext\tplain\t00ff10\tcafe\t0102\t"
      "cafe\t6F9619FF-8B86-D011-B42D-00C04FC964FF\n"
      "0\t\t\t\t0\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\n";
  std::ofstream(dir / "in.tsv", std::ios::binary) << rows;
  const std::string in = freebcp(srv(), "t.dbo.a in " + (dir / "in.tsv").string() + " -c -b 1000");
  ASSERT_NE(in.find("2 rows copied"), std::string::npos) << in;
  EXPECT_EQ(srv().logins_received().back().language, "us_english");  // freebcp asks for FreeTDS's default
  const std::string out = freebcp(srv(), "t.dbo.a out " + (dir / "out.tsv").string() + " -c");
  ASSERT_NE(out.find("2 rows copied"), std::string::npos) << out;
  EXPECT_EQ(test_dir::read(dir / "out.tsv"), rows);

  auto stored = srv().rows("t", "a");
  ASSERT_EQ(stored.size(), 2u);
  int32_t days;
  uint32_t ticks;
  tds::cell_datetime(stored[0][9], days, ticks);
  EXPECT_EQ(days, 45349);
  EXPECT_EQ(ticks, 86400u * 300 - 1);
  EXPECT_EQ(stored[0][16].bytes, utf16le(u"emoji \U0001F600 ok"));
  EXPECT_EQ(stored[0][18].bytes, "caf\xE9");
  EXPECT_TRUE(stored[1][1].null);
  EXPECT_TRUE(stored[1][16].null);  // an empty field is NULL to bcp
}

TEST_F(tds_server_test, dblib_bulk_copy_of_every_type_arrives_exact) {
  fresh()->exec(
      "CREATE TABLE k (id int IDENTITY(1,1) PRIMARY KEY, i int, bi bigint, b bit, f float, m money, dt datetime, "
      "dec numeric(38,10), nv nvarchar(40), nvm nvarchar(max), vb varbinary(10), g uniqueidentifier, nt ntext)");
  auto c = fresh(true);
  ASSERT_TRUE(c->ok());
  DBPROCESS* p = c->proc();
  ASSERT_EQ(bcp_init(p, "k", nullptr, nullptr, DB_IN), SUCCEED);
  DBINT i = -7;
  DBBIGINT bi = INT64_MIN;
  DBBIT b = 1;
  DBFLT8 f = 0.1;
  DBMONEY m{-1, 0xFFFFFFFFu - 12344};  // -1.2345
  DBDATETIME dt{45349, 86400 * 300 - 1};
  const char* dec = "-1234567890123456789012345678.0123456789";
  const std::string nv = utf16le(u"emoji \U0001F600 \u4E2D");
  std::string nvm;
  for (int k = 0; k < 50000; ++k) nvm += utf16le(std::u16string(1, static_cast<char16_t>(u'a' + k % 26)));
  const unsigned char vb[3] = {0, 0xFF, 0x10};
  const char* g = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  const std::string nt = utf16le(u"ntext \u00E9");
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&i), 0, -1, nullptr, 0, SYBINT4, 2), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&bi), 0, -1, nullptr, 0, SYBINT8, 3), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&b), 0, -1, nullptr, 0, SYBBIT, 4), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&f), 0, -1, nullptr, 0, SYBFLT8, 5), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&m), 0, -1, nullptr, 0, SYBMONEY, 6), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&dt), 0, -1, nullptr, 0, SYBDATETIME, 7), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(const_cast<char*>(dec)), 0, static_cast<DBINT>(std::strlen(dec)), nullptr, 0, SYBCHAR, 8), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(const_cast<char*>(nv.data())), 0, static_cast<DBINT>(nv.size()), nullptr, 0, SYBCHAR, 9), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(nvm.data()), 0, static_cast<DBINT>(nvm.size()), nullptr, 0, SYBCHAR, 10), SUCCEED);
  ASSERT_EQ(bcp_bind(p, const_cast<BYTE*>(vb), 0, 3, nullptr, 0, SYBBINARY, 11), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(const_cast<char*>(g)), 0, 36, nullptr, 0, SYBCHAR, 12), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(const_cast<char*>(nt.data())), 0, static_cast<DBINT>(nt.size()), nullptr, 0, SYBCHAR, 13), SUCCEED);
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  // A second row of NULLs (length 0 means NULL to db-lib's bulk copy).
  for (int col = 2; col <= 13; ++col) bcp_collen(p, 0, col);
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  EXPECT_EQ(bcp_batch(p), 2);
  EXPECT_EQ(bcp_done(p), 0);

  const auto rows = srv().rows("t", "k");
  const auto cols = srv().columns("t", "k");
  ASSERT_EQ(rows.size(), 2u);
  const auto& r = rows[0];
  EXPECT_EQ(tds::cell_int(r[0]), 1);  // the identity, given by the server
  EXPECT_EQ(tds::cell_int(r[1]), -7);
  EXPECT_EQ(tds::cell_int(r[2]), INT64_MIN);
  EXPECT_EQ(tds::cell_int(r[3]), 1);
  EXPECT_EQ(tds::cell_double(r[4]), 0.1);
  EXPECT_EQ(tds::cell_text(cols[5].type, r[5]), "-1.2345");
  int32_t days;
  uint32_t ticks;
  tds::cell_datetime(r[6], days, ticks);
  EXPECT_EQ(days, 45349);
  EXPECT_EQ(ticks, 86400u * 300 - 1);
  EXPECT_EQ(tds::cell_text(cols[7].type, r[7]), dec);
  EXPECT_EQ(r[8].bytes, nv);
  EXPECT_EQ(r[9].bytes, nvm);
  EXPECT_EQ(r[10].bytes, std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(tds::cell_text(cols[11].type, r[11]), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(r[12].bytes, nt);
  for (int col = 1; col <= 12; ++col) EXPECT_TRUE(rows[1][static_cast<std::size_t>(col)].null) << col;
  EXPECT_EQ(tds::cell_int(rows[1][0]), 2);
}

TEST_F(tds_server_test, dblib_bulk_copy_of_the_other_types_arrives_exact) {
  fresh()->exec(
      "CREATE TABLE o (ti tinyint, si smallint, r real, sm smallmoney, d date, t time(7), dt2 datetime2(7), "
      "vc varchar(10), ch char(4), tx text, img image, bin binary(3), dec decimal(5,2))");
  auto c = fresh(true);
  DBPROCESS* p = c->proc();
  ASSERT_EQ(bcp_init(p, "o", nullptr, nullptr, DB_IN), SUCCEED);
  DBTINYINT ti = 255;
  DBSMALLINT si = -32768;
  DBREAL r = 1.25f;
  const char* sm = "-214748.3648";
  const char* d = "2024-02-29";
  const char* t = "23:59:59.1234567";
  const char* dt2 = "2024-02-29 23:59:59.1234567";
  const std::string vc = "caf\xE9";  // Windows-1252, bound as it is
  const std::string ch = "ab";
  std::string tx(70000, 'x');
  std::string img(70000, '\0');
  for (std::size_t k = 0; k < img.size(); ++k) img[k] = static_cast<char>(k % 251);
  const unsigned char bin[2] = {1, 2};
  const char* dec = "-999.99";
  auto bind = [&](const void* v, DBINT len, int type, int col) {
    return bcp_bind(p, reinterpret_cast<BYTE*>(const_cast<void*>(v)), 0, len, nullptr, 0, type, col);
  };
  ASSERT_EQ(bind(&ti, -1, SYBINT1, 1), SUCCEED);
  ASSERT_EQ(bind(&si, -1, SYBINT2, 2), SUCCEED);
  ASSERT_EQ(bind(&r, -1, SYBREAL, 3), SUCCEED);
  ASSERT_EQ(bind(sm, static_cast<DBINT>(std::strlen(sm)), SYBCHAR, 4), SUCCEED);
  ASSERT_EQ(bind(d, static_cast<DBINT>(std::strlen(d)), SYBCHAR, 5), SUCCEED);
  ASSERT_EQ(bind(t, static_cast<DBINT>(std::strlen(t)), SYBCHAR, 6), SUCCEED);
  ASSERT_EQ(bind(dt2, static_cast<DBINT>(std::strlen(dt2)), SYBCHAR, 7), SUCCEED);
  ASSERT_EQ(bind(vc.data(), static_cast<DBINT>(vc.size()), SYBCHAR, 8), SUCCEED);
  ASSERT_EQ(bind(ch.data(), static_cast<DBINT>(ch.size()), SYBCHAR, 9), SUCCEED);
  ASSERT_EQ(bind(tx.data(), static_cast<DBINT>(tx.size()), SYBCHAR, 10), SUCCEED);
  ASSERT_EQ(bind(img.data(), static_cast<DBINT>(img.size()), SYBBINARY, 11), SUCCEED);
  ASSERT_EQ(bind(bin, 2, SYBBINARY, 12), SUCCEED);
  ASSERT_EQ(bind(dec, static_cast<DBINT>(std::strlen(dec)), SYBCHAR, 13), SUCCEED);
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  EXPECT_EQ(bcp_done(p), 1);
  const auto rows = srv().rows("t", "o");
  const auto cols = srv().columns("t", "o");
  ASSERT_EQ(rows.size(), 1u);
  auto text = [&](std::size_t i) { return tds::cell_text(cols[i].type, rows[0][i]); };
  EXPECT_EQ(text(0), "255");
  EXPECT_EQ(text(1), "-32768");
  EXPECT_EQ(tds::cell_double(rows[0][2]), 1.25);
  EXPECT_EQ(text(3), "-214748.3648");
  EXPECT_EQ(text(4), "2024-02-29");
  EXPECT_EQ(text(5), "23:59:59.1234567");
  EXPECT_EQ(text(6), "2024-02-29 23:59:59.1234567");
  EXPECT_EQ(rows[0][7].bytes, vc);
  EXPECT_EQ(rows[0][8].bytes, "ab  ");  // char(4) padded by the server
  EXPECT_EQ(rows[0][9].bytes, tx);
  EXPECT_EQ(rows[0][10].bytes, img);
  EXPECT_EQ(rows[0][11].bytes, std::string("\x01\x02\x00", 3));
  EXPECT_EQ(text(12), "-999.99");
}

TEST_F(tds_server_test, bulk_load_keeps_identity_values_and_rejects_bad_rows_by_batch) {
  auto s = fresh();
  ASSERT_TRUE(s->exec("CREATE TABLE idt (id int IDENTITY(1,1) PRIMARY KEY, v nvarchar(3) NOT NULL)"));
  auto c = fresh(true);
  ASSERT_TRUE(c->exec("SET IDENTITY_INSERT idt ON"));
  DBPROCESS* p = c->proc();
  ASSERT_EQ(bcp_init(p, "idt", nullptr, nullptr, DB_IN), SUCCEED);
  ASSERT_EQ(bcp_control(p, BCPKEEPIDENTITY, 1), SUCCEED);
  DBINT id = 10;
  std::string v = utf16le(u"ab");
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&id), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(v.data()), 0, 4, nullptr, 0, SYBCHAR, 2), SUCCEED);
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  EXPECT_EQ(bcp_batch(p), 1);
  // A duplicate key fails its whole batch (FreeTDS cannot go on with that bulk
  // connection: a client opens another).
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  id = 11;
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  EXPECT_EQ(bcp_batch(p), -1);
  EXPECT_TRUE(tds_test::has_message(2627));
  EXPECT_EQ(srv().row_count("t", "idt"), 1u);
  auto again = fresh(true);
  ASSERT_TRUE(again->exec("SET IDENTITY_INSERT idt ON"));
  p = again->proc();
  ASSERT_EQ(bcp_init(p, "idt", nullptr, nullptr, DB_IN), SUCCEED);
  ASSERT_EQ(bcp_control(p, BCPKEEPIDENTITY, 1), SUCCEED);
  id = 12;
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&id), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
  ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(v.data()), 0, 4, nullptr, 0, SYBCHAR, 2), SUCCEED);
  ASSERT_EQ(bcp_sendrow(p), SUCCEED);
  EXPECT_EQ(bcp_done(p), 1);
  const auto rows = srv().rows("t", "idt");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(tds::cell_int(rows[0][0]), 10);
  EXPECT_EQ(tds::cell_int(rows[1][0]), 12);
  // An INSERT after it continues from the highest identity.
  ASSERT_TRUE(s->exec("INSERT INTO idt (v) VALUES (N'x')"));
  EXPECT_EQ(tds::cell_int(srv().rows("t", "idt").back()[0]), 13);
}

TEST_F(tds_server_test, knobs_drop_a_bulk_connection_and_fail_a_batch) {
  fresh()->exec("CREATE TABLE n (v int NOT NULL)");
  {
    srv().set_fail_bulk_batch(2);
    auto c = fresh(true);
    DBPROCESS* p = c->proc();
    ASSERT_EQ(bcp_init(p, "n", nullptr, nullptr, DB_IN), SUCCEED);
    DBINT v = 1;
    ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&v), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
    ASSERT_EQ(bcp_sendrow(p), SUCCEED);
    EXPECT_EQ(bcp_batch(p), 1);
    ASSERT_EQ(bcp_sendrow(p), SUCCEED);
    EXPECT_EQ(bcp_batch(p), -1);
    EXPECT_TRUE(tds_test::has_message(4815));
    EXPECT_EQ(srv().row_count("t", "n"), 1u);
    srv().set_fail_bulk_batch(0);
  }
  {
    srv().set_drop_after_bulk_rows(1500);
    auto c = fresh(true);
    DBPROCESS* p = c->proc();
    ASSERT_EQ(bcp_init(p, "n", nullptr, nullptr, DB_IN), SUCCEED);
    DBINT v = 1;
    ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&v), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
    bool failed = false;
    for (int k = 0; k < 3000 && !failed; ++k) {
      failed = bcp_sendrow(p) == FAIL;
      if (!failed && k % 1000 == 999) failed = bcp_batch(p) == -1;
    }
    EXPECT_TRUE(failed);
    EXPECT_TRUE(tds_test::has_message(20017) || tds_test::has_message(20006)) << tds_test::messages().back().number;
    EXPECT_EQ(srv().row_count("t", "n"), 1001u);  // the first batch of 1000 only
    srv().set_drop_after_bulk_rows(-1);
  }
}

// A datetime's time of day of 300 x 86,400 ticks or more, or a smalldatetime's
// 1,440 minutes or more, is no value: its batch fails with 4896, the column
// counted from 1, and keeps nothing.
TEST_F(tds_server_test, bulk_dates_outside_their_parts_fail_their_batch) {
  fresh()->exec("CREATE TABLE bd (id int, dt datetime, sdt smalldatetime)");
  struct bulk_case {
    DBINT days, ticks;
    DBUSMALLINT small_days, minutes;
    int error;  // 0: stored
  } cases[] = {
      {0, 300 * 86400 - 1, 0, 1439, 0},
      {0, 300 * 86400, 0, 0, 4896},
      {-53691, 0, 0, 0, 4896},
      {0, 0, 0, 1440, 4896},
  };
  std::size_t stored = 0;
  for (const auto& k : cases) {
    SCOPED_TRACE(std::to_string(k.ticks) + " ticks, " + std::to_string(k.minutes) + " minutes");
    auto c = fresh(true);
    DBPROCESS* p = c->proc();
    ASSERT_EQ(bcp_init(p, "bd", nullptr, nullptr, DB_IN), SUCCEED);
    DBINT id = 1;
    DBDATETIME dt{k.days, k.ticks};
    DBDATETIME4 sdt{k.small_days, k.minutes};
    ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&id), 0, -1, nullptr, 0, SYBINT4, 1), SUCCEED);
    ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&dt), 0, -1, nullptr, 0, SYBDATETIME, 2), SUCCEED);
    ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&sdt), 0, -1, nullptr, 0, SYBDATETIME4, 3), SUCCEED);
    tds_test::clear_messages();
    ASSERT_EQ(bcp_sendrow(p), SUCCEED);
    EXPECT_EQ(bcp_batch(p), k.error ? -1 : 1);
    if (k.error) {
      EXPECT_TRUE(tds_test::has_message(k.error));
      bool named = false;
      for (const auto& m : tds_test::messages())
        named = named || m.text == "Invalid column value from bcp client for colid " + std::string(k.ticks >= 300 * 86400 || k.days < 0 ? "2" : "3") + ".";
      EXPECT_TRUE(named);
    } else {
      ++stored;
      EXPECT_EQ(bcp_done(p), 0);
    }
    EXPECT_EQ(srv().row_count("t", "bd"), stored);
  }
}
