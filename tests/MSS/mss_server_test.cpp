// The SQL Server destination against the TDS test server: connections,
// databases, tables created and filled by bulk load and by statements, and
// read back exactly.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <thread>

#include <unistd.h>

#include "MSS/odb_exce.h"
#include "OLE/ole_date.h"
#include "TK/tk_errco.h"
#include "TK/tk_trace.h"
#include "MSS/mss_vali.h"
#include "platform/oledb/connection_string.h"
#include "platform/tds/tds_sql.h"
#include "tests/MSS/mss_engine_env.h"
#include "tests/support/test_dir.h"

namespace {

std::vector<std::string> split(const std::string& line) { return tk_split(line, '|'); }

ole_variant date(const char* text) { return ole_date(std::string(text)).to_variant(); }

std::wstring hex(const std::vector<BYTE>& bytes) {
  static const wchar_t digits[] = L"0123456789ABCDEF";
  std::wstring out = L"0x";
  for (BYTE b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// What f throws, as text ("" when nothing).
template <class F>
std::string thrown(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST_F(mss_engine_test, ConnectsAndReportsRefusalsAsTheServerGivesThem) {
  connect(true);
  EXPECT_TRUE(engine_->is_connected());
  EXPECT_TRUE(engine_->is_fast_load());
  EXPECT_EQ(engine_->get_version_code(), 5);  // the test server says 2019
  EXPECT_EQ(engine_->get_login(), L"sa");

  // The password with ';', '=' and both quotes reads back from the string.
  connection_string parsed(engine_->get_connection_string(L"a;b=c'd"));
  ASSERT_TRUE(parsed.is_valid());
  EXPECT_EQ(parsed.get(L"Password").value_or(L""), wide(password));
  EXPECT_EQ(parsed.get(L"Initial Catalog").value_or(L""), L"a;b=c'd");

  tk_error_converter messages(odb_error_messages_count, odb_error_messages);
  try {
    engine_->connect(server_name(), L"sa", L"wrong", false);
    ADD_FAILURE() << "a wrong password connected";
  } catch (const odb_exception& e) {
    EXPECT_EQ(e.get_code(), 0x80E4D);
    EXPECT_EQ(messages.convert(e.get_code()), "Invalid user name or password.");
  }
  EXPECT_TRUE(engine_->is_fast_load()) << "a failing connect changes nothing";

  // Windows authentication asks the provider for a network (Kerberos) login,
  // which the test server cannot give.
  EXPECT_THROW(engine_->connect(server_name(), false), odb_exception);
  EXPECT_FALSE(engine_->is_windows_authentication());

  EXPECT_FALSE(engine_->is_db_exist(L"nowhere"));
  srv().execute("CREATE DATABASE [closed]");
  srv().set_inaccessible("closed", true);
  EXPECT_FALSE(engine_->is_db_exist(L"closed"));
  srv().execute("CREATE DATABASE [here]");
  EXPECT_TRUE(engine_->is_db_exist(L"here"));

  const std::string unreachable = thrown([&] { engine_->connect(L"127.0.0.1,1", L"sa", L"x", false); });
  EXPECT_NE(unreachable.find("does not exist or access denied"), std::string::npos) << unreachable;

  // A server that no longer answers is not "no such database".
  srv().stop();
  EXPECT_THROW(engine_->is_db_exist(L"here"), odb_exception);
}

// A login name or password longer than the login record holds is refused
// before anything is sent, with the reason.
TEST_F(mss_engine_test, LoginSettingsThatDoNotFitTheLoginRecord) {
  const std::wstring too_long(65, L'\u0416');  // 130 bytes in UTF-8
  const std::pair<std::wstring, std::wstring> logins[] = {{too_long, wide(password)}, {L"sa", too_long}};
  for (const auto& [login, pw] : logins) {
    const std::string refused = thrown([&] { engine_->connect(server_name(), login, pw, false); });
    EXPECT_NE(refused.find("longer than a login can carry"), std::string::npos) << refused;
  }
  EXPECT_EQ(srv().connections(), 0);
}

TEST_F(mss_engine_test, ThePasswordNeverReachesTheTraceLog) {
  test_dir dir;
  const std::string file = (dir.path() / "trace.log").string();
  {
    tk_trace_log log(file.c_str(), true, 1, false);
    database(true, L"traced");
    engine_->is_db_exist(L"traced");
    db_.reset();
  }
  const std::string text = test_dir::read(file);
  EXPECT_NE(text.find("mss_engine::connect"), std::string::npos);
  EXPECT_NE(text.find("Password=***"), std::string::npos);
  EXPECT_EQ(text.find("p;w="), std::string::npos);
}

TEST_F(mss_engine_test, OwnerQualifiedTableNames) {
  connect(false);
  EXPECT_EQ(engine_->get_safe_tname(L"Sales"), L"[dbo].[Sales]");  // "sa" is the owner
  EXPECT_EQ(engine_->get_safe_tname(L"[x].[Sales]"), L"[x].[Sales]");
  EXPECT_EQ(engine_->get_safe_tname(L"[Sales]"), L"[dbo].[Sales]");
  EXPECT_EQ(engine_->get_safe_tname(L"a].[b"), L"[dbo].[a]].[b]");
  EXPECT_EQ(engine_->get_safe_tname(std::wstring(200, L'a')), L"[dbo].[" + std::wstring(127, L'a') + L"]");
}

TEST_F(mss_engine_test, CreatesOpensAndDropsDatabasesOfAnyName) {
  connect(true);
  const std::wstring name = L"o]r'v; db";
  {
    auto db = engine_->create_db(name);
    EXPECT_TRUE(srv().has_database("o]r'v; db"));
    EXPECT_EQ(db->get_mode(), 2u);
    EXPECT_TRUE(db->get_tables().empty());
  }
  srv().execute("CREATE TABLE [t1] ([a] int)", "o]r'v; db");
  {
    auto db = engine_->open_db(name, UDB_MODE_APPEND);
    EXPECT_TRUE(db->is_table_exist(L"T1"));
    EXPECT_TRUE(db->delete_tab(L"t1"));
    EXPECT_FALSE(srv().has_table("o]r'v; db", "t1"));
  }
  engine_->delete_db(name);
  EXPECT_FALSE(srv().has_database("o]r'v; db"));
  EXPECT_FALSE(engine_->is_db_exist(name));
}

// A session of ours in the database, closed just before, may still be ending on
// the server when the database is dropped: the drop waits for it.
TEST_F(mss_engine_test, DropsADatabaseWhoseClosedSessionsEndLate) {
  connect(true);
  const std::wstring name = L"late";
  engine_->create_db(name);  // its session closes at once
  srv().set_session_linger(300);
  engine_->open_db(name, UDB_MODE_APPEND);
  engine_->delete_db(name);
  srv().set_session_linger(0);
  EXPECT_FALSE(srv().has_database("late"));
}

// Every type of value into a created table and back, by both roads.
TEST_F(mss_engine_test, EveryTypeGoesInAndComesBackExactly) {
  const std::wstring long_text(100 * 1024, L'\u00E9');
  const std::wstring text300 = std::wstring(299, L'x') + L"\u4E2D";
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = fast ? "bulk" : "stmt";
    database(fast, wide(dbname.c_str()));
    udb_schema schema;
    add(schema, L"id", VT_I4);
    add(schema, L"s", VT_BSTR, 300);
    add(schema, L"memo", VT_BSTR, 0);
    add(schema, L"d4", VT_DECIMAL, 0, 18 * 256 + 4);
    add(schema, L"d28", VT_DECIMAL, 0, 28 * 256 + 10);
    add(schema, L"d30", VT_DECIMAL, 0, 30 * 256 + 2);
    add(schema, L"dt", VT_DATE);
    add(schema, L"b", VT_BOOL);
    add(schema, L"bin", VT_BLOB, 16);
    add(schema, L"r", VT_R8);
    add(schema, L"i8", VT_I8);
    add(schema, L"cy", VT_CY);
    auto table = create(L"all", schema);
    auto columns = srv().columns(dbname, "all");
    ASSERT_EQ(columns.size(), 12u);
    EXPECT_EQ(tds::type_name(columns[1].type), "nvarchar(300)");
    EXPECT_EQ(tds::type_name(columns[2].type), "nvarchar(max)");
    EXPECT_EQ(tds::type_name(columns[3].type), "decimal(18,4)");
    EXPECT_EQ(tds::type_name(columns[4].type), "decimal(28,10)");
    EXPECT_EQ(tds::type_name(columns[5].type), "decimal(30,2)");
    EXPECT_EQ(tds::type_name(columns[6].type), "datetime");

    auto r1 = make_record({{L"id", ole_variant(1)},
                           {L"s", ole_variant(text300)},
                           {L"memo", ole_variant(long_text)},
                           {L"d4", typed(L"-12345678901234.5678", VT_DECIMAL)},
                           {L"d28", typed(L"123456789012345678.9012345678", VT_DECIMAL)},
                           {L"d30", typed(L"123456789012345678901234567.89", VT_DECIMAL)},
                           {L"dt", date("2004-05-06 12:34:56")},
                           {L"b", ole_variant(true)},
                           {L"bin", ole_variant(std::vector<BYTE>{0, 1, 0xFE, 0xFF})},
                           {L"r", ole_variant(0.1)},
                           {L"i8", ole_variant(-9223372036854775807LL)},
                           {L"cy", typed(L"922337203685477.5807", VT_CY)}});
    auto r2 = make_record({{L"id", ole_variant(2)}, {L"s", ole_variant(L"\U0001F600 \u4E2D\u6587 'q'")},
                           {L"memo", ole_variant(L"")}, {L"d4", ole_variant()}, {L"d28", ole_variant()},
                           {L"d30", ole_variant()}, {L"dt", date("12:31:00")}, {L"b", ole_variant(false)},
                           {L"bin", ole_variant()}, {L"r", ole_variant(-1.5e300)}, {L"i8", ole_variant()},
                           {L"cy", ole_variant()}});
    table->append_record(*r1);
    table->append_record(*r2);
    table->flush();
    auto stored = rows("all", dbname);
    ASSERT_EQ(stored.size(), 2u);
    std::sort(stored.begin(), stored.end());
    auto first = split(stored[0]);
    ASSERT_EQ(first.size(), 12u);
    EXPECT_TRUE(first[1] == tk_to_utf8(text300));
    EXPECT_EQ(first[2].size(), tk_to_utf8(long_text).size());
    EXPECT_TRUE(first[2] == tk_to_utf8(long_text));
    first[1] = first[2] = "";
    EXPECT_EQ(first, split("1|||-12345678901234.5678|123456789012345678.9012345678|123456789012345678901234567.89|"
                           "2004-05-06 12:34:56.000|1|0x0001FEFF|0.1|-9223372036854775807|922337203685477.5807"));
    EXPECT_EQ(split(stored[1]), split("2|\xF0\x9F\x98\x80 \xE4\xB8\xAD\xE6\x96\x87 'q'||NULL|NULL|NULL|"
                                      "1899-12-30 12:31:00.000|0|NULL|-1.5e+300|NULL|NULL"));
  }
}

TEST_F(mss_engine_test, TwoIdentityTablesInOneSession) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = fast ? "bulk" : "stmt";
    database(fast, wide(dbname.c_str()));
    for (const wchar_t* name : {L"first", L"second"}) {
      udb_schema schema;
      add(schema, L"id", VT_I4, 0, 0, true, true);
      add(schema, L"v", VT_BSTR, 10);
      udb_indexes keys;
      keys.push_back(udb_index{L"pk", true, true, {L"id"}});
      auto table = create(name, schema, keys);
      EXPECT_TRUE(table->has_identity());
      EXPECT_TRUE(table->has_primary_key());
      for (int id : {10, 20}) table->append_record(*make_record({{L"id", ole_variant(id)}, {L"v", ole_variant(L"x")}}));
      if (!fast) {
        // A refused statement leaves the switch off all the same.
        EXPECT_THROW(table->append_record(*make_record({{L"id", ole_variant(10)}, {L"v", ole_variant(L"y")}})),
                     odb_exception);
      }
      table->flush();
      EXPECT_EQ(rows(tk_to_utf8(name), dbname), (std::vector<std::string>{"10|x", "20|x"}));
    }
  }
}

TEST_F(mss_engine_test, IndexesAndForeignKeys) {
  database(true);
  udb_schema customers;
  add(customers, L"id", VT_I4, 0, 0, true);
  add(customers, L"name", VT_BSTR, 40);
  add(customers, L"flag", VT_BOOL);
  add(customers, L"wide", VT_BSTR, 451);
  udb_indexes ckeys;
  ckeys.push_back(udb_index{L"pk", true, true, {L"id"}});
  ckeys.push_back(udb_index{L"by name", true, false, {L"name"}});
  ckeys.push_back(udb_index{L"by flag", false, false, {L"flag"}});
  ckeys.push_back(udb_index{L"by wide", false, false, {L"wide"}});
  create(L"Cust]omers", customers, ckeys);
  auto indexes = srv().indexes("orv", "Cust]omers");
  std::set<std::string> names;
  for (const auto& i : indexes) names.insert(i.name);
  EXPECT_EQ(names, (std::set<std::string>{"PK_Cust]omers", "by name"}));

  udb_schema orders;
  add(orders, L"id", VT_I4, 0, 0, true);
  add(orders, L"cust", VT_I4);
  udb_indexes okeys;
  okeys.push_back(udb_index{L"pk", true, true, {L"id"}});
  create(L"Orders", orders, okeys);
  udb_relationships keys;
  keys.push_back(udb_relationship(L"FK_Orders", L"", L"Orders", L"Cust]omers", {L"cust"}, {L"id"}, L"ON DELETE CASCADE"));
  db_->create_relationships(keys);
  auto fks = srv().foreign_keys("orv", "Orders");
  ASSERT_EQ(fks.size(), 1u);
  EXPECT_EQ(fks[0].ref_table, "Cust]omers");
  EXPECT_EQ(fks[0].on_delete, "CASCADE");

  // Read back from the catalog.
  auto reopened = db_->get_table(L"Cust]omers", 2);
  // A row changed by its key.
  reopened->append_record(*make_record({{L"id", ole_variant(1)}, {L"name", ole_variant(L"old")},
                                        {L"flag", ole_variant(true)}, {L"wide", ole_variant(L"w")}}));
  static_cast<mss_table*>(reopened.get())->flush();
  reopened->update(*make_record({{L"id", ole_variant(1)}, {L"name", ole_variant(L"n'ew")}}));
  EXPECT_EQ(rows("Cust]omers"), std::vector<std::string>{"1|n'ew|1|w"});
  const udb_indexes& read = reopened->get_indexes();
  ASSERT_GE(read.size(), 2u);
  EXPECT_TRUE(read.is_idx_field(L"id", true));
  EXPECT_EQ(read.get_index(L"by name").unique, true);
  EXPECT_FALSE(db_->get_relationships().is_acceptable_name(L"FK_Orders"));
}

TEST_F(mss_engine_test, NamesWithBracketsQuotesUnderscoresAndBlanks) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = fast ? "bulk" : "stmt";
    database(fast, wide(dbname.c_str()));
    // A table whose name is a LIKE pattern of another must not take that
    // one's columns: Sheet11 has an identity column, Sheet_1 none.
    srv().execute("CREATE TABLE [Sheet11] ([id] int IDENTITY(1,1) NOT NULL, [v] int NULL DEFAULT ((7)))", dbname);
    udb_schema plain;
    add(plain, L"id", VT_I4);
    add(plain, L"v", VT_I4);
    auto sheet = create(L"Sheet_1", plain);
    EXPECT_FALSE(sheet->has_identity());
    EXPECT_EQ(sheet->get_schema()[1].default_value.get_vt(), VT_EMPTY);

    udb_schema schema;
    add(schema, L"x]y 'z", VT_BSTR, 20, 0, false, false, ole_variant(L"it's"));
    add(schema, L"n_1", VT_I4);
    auto table = create(L"a]b 'c_1", schema);
    table->append_record(*make_record({{L"x]y 'z", ole_variant(L"]'; --")}, {L"n_1", ole_variant(5)}}));
    table->flush();
    EXPECT_EQ(rows("a]b 'c_1", dbname), std::vector<std::string>{"]'; --|5"});
    auto columns = srv().columns(dbname, "a]b 'c_1");
    ASSERT_TRUE(columns[0].default_text.has_value());
    EXPECT_NE(columns[0].default_text->find("it''s"), std::string::npos) << *columns[0].default_text;
  }
}

TEST_F(mss_engine_test, MergesIntoAnExistingTableWithItsColumnsInAnotherOrder) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = users_database(fast);
    srv().execute("CREATE TABLE [m] ([c] datetime2 NULL, [b] int NOT NULL, [a] nvarchar(10) NULL)", dbname);
    db_ = engine_->open_db(wide(dbname.c_str()), UDB_MODE_APPEND);
    udb_schema source;
    add(source, L"a", VT_BSTR, 10);
    add(source, L"b", VT_BSTR, 10);
    add(source, L"c", VT_DATE);
    auto table = create(L"m", source);
    table->append_record(*make_record({{L"a", ole_variant(L"first")}, {L"b", ole_variant(L"42")},
                                       {L"c", date("0100-01-02 03:04:05")}}));
    const std::string refused = thrown([&] {
      table->append_record(*make_record({{L"a", ole_variant(L"bad")}, {L"b", ole_variant(L"x")}, {L"c", ole_variant()}}));
    });
    EXPECT_FALSE(refused.empty());
    table->append_record(*make_record({{L"a", ole_variant()}, {L"b", ole_variant(7.0)}, {L"c", ole_variant()}}));
    table->flush();
    auto stored = rows("m", dbname);
    std::sort(stored.begin(), stored.end());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].substr(0, 19), "0100-01-02 03:04:05");
    EXPECT_EQ(stored[0].substr(stored[0].find('|')), "|42|first");
    EXPECT_EQ(stored[1], "NULL|7|NULL");
  }
}

TEST_F(mss_engine_test, ValuesTheColumnCannotTakeFailOnlyTheirRecord) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = fast ? "bulk" : "stmt";
    database(fast, wide(dbname.c_str()));
    udb_schema schema;
    add(schema, L"s", VT_BSTR, 5);
    add(schema, L"d", VT_DECIMAL, 0, 5 * 256 + 2);
    add(schema, L"r", VT_R8);
    add(schema, L"dt", VT_DATE);
    add(schema, L"i8", VT_I8);
    auto table = create(L"t", schema);
    auto record = [](const wchar_t* s, const wchar_t* d, double r, ole_variant dt, ole_variant i8) {
      return make_record({{L"s", ole_variant(std::wstring(s))}, {L"d", typed(d, VT_DECIMAL)}, {L"r", ole_variant(r)},
                          {L"dt", dt}, {L"i8", i8}});
    };
    const std::string longer = thrown([&] { table->append_record(*record(L"123456", L"1", 1, ole_variant(), ole_variant())); });
    EXPECT_NE(longer.find("truncated"), std::string::npos) << longer;
    const std::string overflow =
        thrown([&] { table->append_record(*record(L"a", L"12345.6", 1, ole_variant(), ole_variant())); });
    EXPECT_FALSE(overflow.empty());
    const std::string nan = thrown([&] {
      table->append_record(*record(L"a", L"1", std::numeric_limits<double>::quiet_NaN(), ole_variant(), ole_variant()));
    });
    EXPECT_NE(nan.find("finite"), std::string::npos) << nan;
    const std::string old = thrown([&] { table->append_record(*record(L"a", L"1", 1, date("1600-01-01"), ole_variant())); });
    EXPECT_FALSE(old.empty());
    table->append_record(*record(L"12345", L"-999.99", 2.5, date("1753-01-01"), ole_variant(1234.0)));
    table->flush();
    EXPECT_EQ(rows("t", dbname), std::vector<std::string>{"12345|-999.99|2.5|1753-01-01 00:00:00.000|1234"});
  }
}

// A table whose fixed-length columns need more than 8,060 bytes a row (1,010
// float columns) is refused with the server's reason, which names it, when
// it is made and when it is tried before an existing table is replaced; the
// next table is made as ever.
TEST_F(mss_engine_test, ATableTooWideForARowIsRefusedWithTheServersReason) {
  database(true);
  udb_schema wide;
  for (int i = 0; i < 1010; ++i) add(wide, L"f" + std::to_wstring(i), VT_R8);
  const std::string reason = "Creating or altering table 'Wide' failed because the minimum row size would be 8213, "
                             "including 133 bytes of internal overhead. This exceeds the maximum allowable table row "
                             "size of 8060 bytes.";
  EXPECT_EQ(thrown([&] { create(L"Wide", wide); }), reason);
  EXPECT_EQ(thrown([&] { db_->try_create_table(L"Wide", wide, {}); }),
            "Table 'Wide' was not replaced and keeps its rows: " + reason);
  EXPECT_FALSE(srv().has_table("orv", "Wide"));
  udb_schema next;
  add(next, L"z", VT_R8);
  auto table = create(L"Zed", next);
  table->append_record(*make_record({{L"z", ole_variant(7.0)}}));
  table->flush();
  EXPECT_EQ(rows("Zed"), std::vector<std::string>{"7"});
}

TEST_F(mss_engine_test, BulkLoadsCommitEveryThousandRowsAndAtTheEnd) {
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  auto table = create(L"t", schema);
  for (int i = 1; i <= 2500; ++i) {
    table->append_record(*make_record({{L"id", ole_variant(i)}}));
    if (i == 999) {
      EXPECT_EQ(srv().row_count("orv", "t"), 0u);
    }
    if (i == 1000) {
      EXPECT_EQ(srv().row_count("orv", "t"), 1000u);
    }
    if (i == 2000) {
      EXPECT_EQ(srv().row_count("orv", "t"), 2000u);
    }
  }
  EXPECT_EQ(srv().row_count("orv", "t"), 2000u);
  table->flush();
  EXPECT_EQ(srv().row_count("orv", "t"), 2500u);
  EXPECT_EQ(srv().bulk_batches(), 3);
}

TEST_F(mss_engine_test, ARefusedRowInsideABatchCostsOnlyItself) {
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4, 0, 0, true);
  add(schema, L"v", VT_BSTR, 10);
  udb_indexes keys;
  keys.push_back(udb_index{L"pk", true, true, {L"id"}});
  auto table = create(L"t", schema, keys);
  for (int i = 1; i <= 1500; ++i)
    table->append_record(*make_record({{L"id", ole_variant(i == 700 ? 5 : i)}, {L"v", ole_variant(L"v")}}));
  table->flush();
  EXPECT_EQ(srv().row_count("orv", "t"), 1499u);
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0].rfind(L"t, record #700: ", 0), 0u) << reported_[0];

  // Rows with an empty text go by statement, a hundred at a time; a refused
  // one costs only itself there too.
  for (int i = 1501; i <= 1750; ++i)
    table->append_record(*make_record({{L"id", ole_variant(i == 1620 ? 1510 : i)}, {L"v", ole_variant(L"")}}));
  table->flush();
  EXPECT_EQ(srv().row_count("orv", "t"), 1748u);
  ASSERT_EQ(reported_.size(), 2u);
  EXPECT_EQ(reported_[1].rfind(L"t, record #1620: ", 0), 0u) << reported_[1];

  // A batch the server refuses as a whole loses nothing.
  srv().set_fail_bulk_batch(1);
  for (int i = 2001; i <= 2300; ++i)
    table->append_record(*make_record({{L"id", ole_variant(i)}, {L"v", ole_variant(L"w")}}));
  table->flush();
  EXPECT_EQ(srv().row_count("orv", "t"), 2048u);
  EXPECT_EQ(reported_.size(), 2u);
}

// A bulk connection the server drops (and drops again when the batch is sent
// once more) ends the table at once, saying which records it cost; nothing
// more goes to it.
TEST_F(mss_engine_test, ADroppedBulkConnectionIsReportedWithTheRecordsItCost) {
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  auto table = create(L"t", schema);
  srv().set_drop_after_bulk_rows(1500);
  std::string failure;
  int failed_at = 0;
  for (int i = 1; i <= 2500 && failure.empty(); ++i) {
    try {
      table->append_record(*make_record({{L"id", ole_variant(i)}}));
    } catch (const tk_connection_lost& e) {
      failure = e.what();
    }
    failed_at = i;
  }
  EXPECT_EQ(failed_at, 2000);
  EXPECT_NE(failure.find("When it was lost, records #1001 to #2000 had been sent: they are not stored. Records from "
                         "#1001 on are not stored."),
            std::string::npos)
      << failure;
  srv().set_drop_after_bulk_rows(-1);
  EXPECT_EQ(thrown([&] { table->append_record(*make_record({{L"id", ole_variant(2001)}})); }), failure);
  EXPECT_EQ(thrown([&] { table->flush(); }), failure);
  EXPECT_EQ(srv().row_count("orv", "t"), 1000u);

  // Wide rows fill the bulk messages early: the drop shows while rows are sent.
  udb_schema wide_schema;
  add(wide_schema, L"id", VT_I4);
  add(wide_schema, L"text", VT_BSTR, 400);
  auto wide_table = create(L"wide", wide_schema);
  srv().set_drop_after_bulk_rows(1500);
  failure.clear();
  for (int i = 1; i <= 2500 && failure.empty(); ++i) {
    failure = thrown([&] {
      wide_table->append_record(*make_record({{L"id", ole_variant(i)}, {L"text", ole_variant(std::wstring(400, L'w'))}}));
    });
    failed_at = i;
  }
  EXPECT_LE(failed_at, 2000);
  EXPECT_NE(failure.find("When it was lost, records #1001 to #"), std::string::npos) << failed_at << ": " << failure;
  EXPECT_NE(failure.find("Records from #1001 on are not stored."), std::string::npos) << failed_at << ": " << failure;
  EXPECT_EQ(srv().row_count("orv", "wide"), 1000u);
  srv().set_drop_after_bulk_rows(-1);

  // A server gone for good: the final commit says so.
  auto gone = create(L"gone", schema);
  gone->append_record(*make_record({{L"id", ole_variant(1)}}));
  srv().stop();
  EXPECT_THROW(gone->flush(), tk_connection_lost);
}

// Azure SQL Database is the newest engine: 64-bit and unsigned 32-bit
// integers stay integers, foreign keys keep their rules.
TEST_F(mss_engine_test, AzureIsTheNewestVersionClass) {
  srv().set_version("Microsoft SQL Azure (RTM) - 12.0.2000.8 \n\tOct 21 2025 13:52:23 \n\tCopyright (C) 2022 Microsoft Corporation\n");
  database(true);
  EXPECT_EQ(engine_->get_version_code(), MSS_VERSION_2008);
  udb_schema parent;
  add(parent, L"id", VT_I8, 0, 0, true);
  add(parent, L"u", VT_UI4);
  udb_indexes keys;
  keys.push_back(udb_index{L"pk", true, true, {L"id"}});
  auto table = create(L"parent", parent, keys);
  table->append_record(*make_record({{L"id", ole_variant(9007199254740993LL)}, {L"u", ole_variant(4294967295.0)}}));
  table->flush();
  EXPECT_EQ(rows("parent"), std::vector<std::string>{"9007199254740993|4294967295"});
  std::vector<std::string> types;
  for (const auto& c : srv().columns("orv", "parent")) types.push_back(tds::type_name(c.type));
  EXPECT_EQ(types, (std::vector<std::string>{"bigint", "bigint"}));
  udb_schema child;
  add(child, L"parent", VT_I8);
  create(L"child", child);
  udb_relationships fks;
  fks.push_back(udb_relationship(L"FK_child", L"", L"child", L"parent", {L"parent"}, {L"id"}, L"ON DELETE SET NULL"));
  db_->create_relationships(fks);
  auto stored = srv().foreign_keys("orv", "child");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].on_delete, "SET NULL");
}

// A table name as long as the server holds still gets its primary key, whose
// name the server holds too, apart from the key of a table named alike.
TEST_F(mss_engine_test, PrimaryKeysOfTablesWithNamesAsLongAsTheServerHolds) {
  database(true);
  const std::wstring emoji = L"\U0001F600";
  const std::wstring names[] = {std::wstring(125, L'a'), std::wstring(127, L'b'), std::wstring(128, L'c'),
                                std::wstring(127, L'c') + L'd', std::wstring(126, L'e') + emoji};
  std::set<std::string> keys;
  for (const std::wstring& name : names) {
    SCOPED_TRACE(name.size());
    udb_schema schema;
    add(schema, L"id", VT_I4, 0, 0, true);
    udb_indexes pk;
    pk.push_back(udb_index{L"pk", true, true, {L"id"}});
    auto table = create(name, schema, pk);
    table->append_record(*make_record({{L"id", ole_variant(1)}}));
    table->flush();
    EXPECT_EQ(srv().row_count("orv", tk_to_utf8(name)), 1u);
    const auto indexes = srv().indexes("orv", tk_to_utf8(name));
    ASSERT_EQ(indexes.size(), 1u);
    EXPECT_TRUE(indexes[0].primary);
    EXPECT_LE(mss_name_length(tk_from_utf8(indexes[0].name.c_str())), 128u);
    keys.insert(indexes[0].name);
  }
  EXPECT_EQ(keys.size(), std::size(names));
  EXPECT_TRUE(reported_.empty()) << tk_to_utf8(reported_.front());
}

// Column names longer than the server holds are created shortened, unique in
// their table, and every value reaches its column by both roads.
TEST_F(mss_engine_test, LongColumnNamesAreShortenedAndFilled) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = fast ? "bulk" : "stmt";
    database(fast, wide(dbname.c_str()));
    const std::wstring heading(200, L'\u0416');
    udb_schema schema;
    add(schema, heading + L"1", VT_I4, 0, 0, true);
    add(schema, heading + L"2", VT_BSTR, 10);
    udb_indexes pk;
    pk.push_back(udb_index{L"pk", true, true, {heading + L"1"}});
    auto table = create(L"t", schema, pk);
    table->append_record(*make_record({{heading + L"1", ole_variant(1)}, {heading + L"2", ole_variant(L"x")}}));
    table->append_record(*make_record({{heading + L"1", ole_variant(2)}, {heading + L"2", ole_variant(L"")}}));
    table->flush();
    auto stored = rows("t", dbname);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"1|x", "2|"}));
    std::set<std::wstring> columns;
    for (const auto& c : srv().columns(dbname, "t")) columns.insert(tk_from_utf8(c.name.c_str()));
    ASSERT_EQ(columns.size(), 2u);
    for (const auto& c : columns) EXPECT_LE(mss_name_length(c), 128u);
    EXPECT_EQ(srv().indexes(dbname, "t").size(), 1u);
  }
}

// Rows by statement into a table with a filtered index: the session keeps the
// settings such a table needs.
TEST_F(mss_engine_test, RowsIntoATableWithAFilteredIndex) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = users_database(fast);
    srv().execute("CREATE TABLE [f] ([a] int NULL, [b] nvarchar(10) NULL)", dbname);
    srv().execute("SET QUOTED_IDENTIFIER ON; CREATE INDEX [ix_a] ON [f] ([a]) WHERE [a] > 0", dbname);
    db_ = engine_->open_db(wide(dbname.c_str()), UDB_MODE_APPEND);
    udb_schema source;
    add(source, L"a", VT_I4);
    add(source, L"b", VT_BSTR, 10);
    auto table = create(L"f", source);
    // An empty text goes by statement on both roads.
    table->append_record(*make_record({{L"a", ole_variant(1)}, {L"b", ole_variant(L"")}}));
    table->append_record(*make_record({{L"a", ole_variant(2)}, {L"b", ole_variant(L"it's")}}));
    table->flush();
    EXPECT_EQ(srv().row_count(dbname, "f"), 2u);
    EXPECT_TRUE(reported_.empty()) << tk_to_utf8(reported_.front());
  }
}

// Merging into a user's table: bulk load stores what the server makes of the
// statement's literal, or refuses the record as the statement is refused, in
// a session of us_english and in one of british (day before month), which a
// user's FreeTDS configuration can give.
TEST_F(mss_engine_test, BothPathsConvertMergedValuesAlike) {
  const char* column_types[] = {"int", "bigint", "smallint", "tinyint", "bit", "float", "real", "money",
                                "decimal(10,2)", "datetime", "date", "time", "datetime2", "uniqueidentifier",
                                "nvarchar(60)"};
  const std::vector<std::pair<const char*, ole_variant>> values = {
      {"2.5", ole_variant(2.5)},
      {"-2.5", ole_variant(-2.5)},
      {"1e10", ole_variant(1e10)},
      {"'2.5'", ole_variant(L"2.5")},
      {"'-7'", ole_variant(L" -7 ")},
      {"TRUE", ole_variant(true)},
      {"FALSE", ole_variant(false)},
      {"'TRUE'", ole_variant(L"TRUE")},
      {"decimal 2.5", typed(L"2.5", VT_DECIMAL)},
      {"time", date("12:31:05")},
      {"'time'", ole_variant(L"12:31:05")},
      {"date", date("2004-05-06 07:08:09")},
      {"'date'", ole_variant(L"2004-05-06 07:08:09")},
      {"date ms", ole_variant(SYSTEMTIME{2004, 5, 0, 6, 7, 8, 9, 123})},
      {"guid", ole_variant(L"{6F9619FF-8B86-D011-B42D-00C04FC964FF}")},
      {"data access guid", ole_variant(L"{guid {6F9619FF-8B86-D011-B42D-00C04FC964FF}}")},
      {"'guid'", ole_variant(L"6f9619ff-8b86-d011-b42d-00c04fc964ff")},
      {"'abc'", ole_variant(L"abc")},
      {"'05/06/2004'", ole_variant(L"05/06/2004")},
      {"'6 May 2004'", ole_variant(L"6 May 2004")},
      {"'May 6, 2004'", ole_variant(L"May 6, 2004")},
      {"'05/06/49'", ole_variant(L"05/06/49")},
      {"'05/06/50'", ole_variant(L"05/06/50")},
      {"'date .1234'", ole_variant(L"2004-05-06 07:08:09.1234")},
      {"'date .5'", ole_variant(L"2004-05-06 07:08:09.5")},
      {"'$1,234.50'", ole_variant(L"$1,234.50")},
      {"'1,234'", ole_variant(L"1,234")},
      {"'12.345'", ole_variant(L"12.345")},
      {"'NaN'", ole_variant(L"NaN")},
      {"'inf'", ole_variant(L"inf")},
      {"'0x1A'", ole_variant(L"0x1A")},
      {"'1e400'", ole_variant(L"1e400")},
      {"'long guid'", ole_variant(L"6F9619FF-8B86-D011-B42D-00C04FC964FFxyz")},
      {"'true'", ole_variant(L"true")},
      {"'+5'", ole_variant(L"+5")},
  };
  const test_dir conf;
  const std::string british = (conf / "british.conf").string();
  std::ofstream(british) << "[global]\n\tlanguage = british\n";
  std::map<std::string, std::string> outcome[4];
  for (int road = 0; road < 4; ++road) {
    const bool fast = road % 2, in_british = road >= 2;
    if (in_british) setenv("FREETDSCONF", british.c_str(), 1);
    const std::string dbname = std::string(in_british ? "gb_" : "") + (fast ? "bulk" : "stmt");
    connect(fast);
    srv().execute("CREATE DATABASE [" + dbname + "]");
    for (std::size_t c = 0; c < std::size(column_types); ++c)
      srv().execute("CREATE TABLE [c" + std::to_string(c) + "] ([id] int NOT NULL, [v] " + column_types[c] + " NULL)",
                    dbname);
    db_ = engine_->open_db(wide(dbname.c_str()), UDB_MODE_APPEND);
    for (std::size_t c = 0; c < std::size(column_types); ++c) {
      const char* type = column_types[c];
      const std::string tname = "c" + std::to_string(c);
      udb_schema source;
      add(source, L"id", VT_I4);
      add(source, L"v", VT_BSTR, 60);
      auto table = create(wide(tname.c_str()), source);
      std::map<int, std::string> refused;
      reported_.clear();
      for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string error = thrown([&] {
          table->append_record(*make_record({{L"id", ole_variant(static_cast<int>(i))}, {L"v", values[i].second}}));
        });
        if (!error.empty()) refused[static_cast<int>(i)] = error;
      }
      table->flush();
      // Rows by statement are refused through the error reporter.
      for (const std::wstring& m : reported_) {
        const std::size_t at = m.find(L"record #");
        if (at != std::wstring::npos) refused[std::stoi(m.substr(at + 8)) - 1] = tk_to_utf8(m);
      }
      std::map<int, std::string> stored;
      for (const std::string& row : rows(tname, dbname)) stored[std::stoi(row)] = row.substr(row.find('|') + 1);
      for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string key = std::string(values[i].first) + " into " + type;
        const int at = static_cast<int>(i);
        outcome[road][key] = stored.count(at) ? stored[at] : refused.count(at) ? "refused" : "lost";
        if (refused.count(at) && stored.count(at)) outcome[road][key] = "refused and stored";
      }
    }
    db_.reset();
    unsetenv("FREETDSCONF");
  }
  EXPECT_EQ(srv().logins_received().back().language, "british");
  for (int road = 1; road < 4; ++road)
    for (const auto& [key, statement] : outcome[0]) EXPECT_EQ(outcome[road][key], statement) << road << ": " << key;
  const std::map<std::string, std::string> expected = {
      {"2.5 into int", "2"},
      {"-2.5 into int", "-2"},
      {"1e10 into int", "refused"},
      {"'2.5' into int", "refused"},
      {"'-7' into int", "-7"},
      {"TRUE into float", "1"},
      {"FALSE into int", "0"},
      {"TRUE into money", "1.0000"},
      {"time into datetime", "1899-12-30 12:31:05.000"},
      {"date ms into datetime", "2004-05-06 07:08:09.123"},
      {"date ms into datetime2", "2004-05-06 07:08:09.1230000"},
      {"guid into uniqueidentifier", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
      {"'abc' into int", "refused"},
      {"'abc' into nvarchar(60)", "abc"},
      {"'05/06/2004' into datetime", "2004-05-06 00:00:00.000"},
      {"'6 May 2004' into date", "2004-05-06"},
      {"'05/06/49' into datetime", "1949-05-06 00:00:00.000"},
      {"'date .1234' into datetime2", "2004-05-06 07:08:09.0000000"},
      {"'date .5' into datetime", "2004-05-06 07:08:10.000"},
      {"'$1,234.50' into money", "refused"},
      {"'12.345' into decimal(10,2)", "12.35"},
      {"'NaN' into float", "refused"},
      {"'0x1A' into float", "refused"},
      {"'long guid' into uniqueidentifier", "refused"},
      {"'true' into bit", "1"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(outcome[0][key], value) << key;
}

// An empty field, or one of blank space alone, merged into a column that is
// not text is NULL on both paths: NULL where the column allows it, else the
// same substitute by either path.
TEST_F(mss_engine_test, EmptyFieldsIntoColumnsThatAreNotText) {
  const wchar_t* const blanks[] = {L"", L"  ", L"\t \xA0"};
  const struct {
    const char* type;
    const char* substitute;  // stored into the NOT NULL column; "" refused
  } cases[] = {{"int", "0"},
               {"float", "0"},
               {"bit", "0"},
               {"money", "0.0000"},
               {"datetime", "1899-12-30 00:00:00.000"},
               {"date", "1899-12-30"},
               {"time", "00:00:00.0000000"},
               {"decimal(10,2)", "0.00"},
               {"uniqueidentifier", ""}};
  for (bool fast : {true, false}) {
    const std::string dbname = users_database(fast);
    for (std::size_t c = 0; c < std::size(cases); ++c)
      srv().execute("CREATE TABLE [e" + std::to_string(c) + "] ([id] int NOT NULL, [n] " + cases[c].type +
                        " NULL, [nn] " + cases[c].type + " NOT NULL)",
                    dbname);
    db_ = engine_->open_db(wide(dbname.c_str()), UDB_MODE_APPEND);
    for (std::size_t c = 0; c < std::size(cases); ++c) {
      SCOPED_TRACE(std::string(fast ? "bulk load into " : "statements into ") + cases[c].type);
      const std::string tname = "e" + std::to_string(c);
      udb_schema source;
      add(source, L"id", VT_BSTR, 10);
      add(source, L"n", VT_BSTR, 10);
      add(source, L"nn", VT_BSTR, 10);
      auto table = create(wide(tname.c_str()), source);
      reported_.clear();
      std::vector<std::string> errors, substituted;
      for (std::size_t b = 0; b < std::size(blanks); ++b) {
        const std::wstring id = std::to_wstring(b + 1);
        const std::string error = thrown([&] {
          table->append_record(*make_record({{L"id", ole_variant(id)}, {L"n", ole_variant(std::wstring(blanks[b]))},
                                             {L"nn", ole_variant(std::wstring(blanks[b]))}}));
        });
        if (!error.empty()) errors.push_back(error);
        substituted.push_back(std::to_string(b + 1) + "|NULL|" + cases[c].substitute);
      }
      table->flush();
      auto stored = rows(tname, dbname);
      std::sort(stored.begin(), stored.end());
      if (*cases[c].substitute) {
        EXPECT_EQ(stored, substituted);
        EXPECT_TRUE(errors.empty() && reported_.empty()) << (errors.empty() ? "" : errors[0]);
      } else {
        EXPECT_TRUE(stored.empty());
        EXPECT_EQ(errors.size() + reported_.size(), std::size(blanks)) << "every record is refused";
      }
    }
    db_.reset();
  }
}

// A missing value is NULL in a nullable column with a default whichever road
// its record takes: a bulk load keeps NULLs (a statement's NULL stays NULL).
TEST_F(mss_engine_test, AMissingValueInANullableColumnWithADefaultIsNullOnBothRoads) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = users_database(fast);
    srv().execute("CREATE TABLE [t] ([id] int NOT NULL, [n] int NULL DEFAULT 5, [s] nvarchar(5) NULL)", dbname);
    db_ = engine_->open_db(wide(dbname.c_str()), UDB_MODE_APPEND);
    udb_schema source;
    add(source, L"id", VT_I4);
    add(source, L"n", VT_BSTR, 10);
    add(source, L"s", VT_BSTR, 10);
    auto table = create(L"t", source);
    // The second and fourth go by statement on either road (an empty text);
    // the third and fourth lack fields (a short CSV line). A field the table
    // has no column for refuses its record.
    table->append_record(*make_record({{L"id", ole_variant(1)}, {L"n", ole_variant()}, {L"s", ole_variant(L"x")}}));
    table->append_record(*make_record({{L"id", ole_variant(2)}, {L"n", ole_variant(L" ")}, {L"s", ole_variant(L"")}}));
    table->append_record(*make_record({{L"id", ole_variant(3)}}));
    table->append_record(*make_record({{L"id", ole_variant(4)}, {L"s", ole_variant(L"")}}));
    EXPECT_THROW(table->append_record(*make_record({{L"id", ole_variant(5)}, {L"x", ole_variant(5)}})), tk_exception);
    table->flush();
    auto stored = rows("t", dbname);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::string>{"1|NULL|x", "2|NULL|", "3|NULL|NULL", "4|NULL|"}));
    db_.reset();
  }
}

// Rows holding an empty text go by statement once the batch they were read in
// has committed: read back in the server's order, no row stands ahead of one
// read before it in an earlier batch.
TEST_F(mss_engine_test, RowsByStatementFollowTheBatchTheyWereReadIn) {
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  add(schema, L"v", VT_BSTR, 10);
  auto table = create(L"t", schema);
  // The batch each row belongs to, in half batches: 2b for batch b (a bulk
  // row that went in it, a row by statement read while it was open), 2b - 1
  // for a row by statement read between batches b - 1 and b.
  std::vector<int> batch(2501);
  int bulk_rows = 0;
  for (int i = 1; i <= 2500; ++i) {
    const bool empty = i % 3 == 0 || (i > 1200 && i <= 1500);
    table->append_record(*make_record({{L"id", ole_variant(i)}, {L"v", ole_variant(empty ? L"" : L"v")}}));
    if (!empty)
      batch[static_cast<std::size_t>(i)] = 2 * (bulk_rows++ / 1000);
    else
      batch[static_cast<std::size_t>(i)] = bulk_rows % 1000 == 0 ? 2 * (bulk_rows / 1000) - 1 : 2 * (bulk_rows / 1000);
  }
  table->flush();
  const auto stored = rows("t");
  ASSERT_EQ(stored.size(), 2500u);
  int last = -1;
  for (const std::string& row : stored) {
    const std::size_t id = static_cast<std::size_t>(std::stoi(row));
    EXPECT_GE(batch[id], last) << "row " << id << " stands behind a row of a later batch";
    last = std::max(last, batch[id]);
  }
}

// A statement's text ends at a NUL character: a text holding one goes whole
// (a row with an empty text goes by statement on the bulk path too).
TEST_F(mss_engine_test, TextHoldingNulGoesByStatementWhole) {
  const std::wstring text(L"a\0b'c\U0001F600", 6);
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    const std::string dbname = fast ? "bulk" : "stmt";
    database(fast, wide(dbname.c_str()));
    udb_schema schema;
    add(schema, L"s", VT_BSTR, 20);
    add(schema, L"m", VT_BSTR, 0);
    add(schema, L"e", VT_BSTR, 5);
    auto table = create(L"t", schema);
    table->append_record(*make_record({{L"s", ole_variant(text)}, {L"m", ole_variant(text)}, {L"e", ole_variant(L"")}}));
    table->flush();
    EXPECT_TRUE(reported_.empty());
    const std::string stored = tk_to_utf8(text);
    EXPECT_EQ(rows("t", dbname), std::vector<std::string>{stored + "|" + stored + "|"});
  }
}

// A row by statement whose key duplicates a row of the open batch: sent while
// the batch is open it would wait on our own bulk connection's locks (here
// for two seconds, then fail); sent after the batch commits, the duplicate is
// reported on the later row and every other row is stored.
TEST_F(mss_engine_test, ARowByStatementNeverWaitsOnOurOwnBatch) {
  struct timeout_guard {
    long saved = tsql_lock_timeout_ms;
    ~timeout_guard() { tsql_lock_timeout_ms = saved; }
  } guard;
  tsql_lock_timeout_ms = 2000;
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4, 0, 0, true);
  add(schema, L"v", VT_BSTR, 100);
  udb_indexes keys;
  keys.push_back(udb_index{L"pk", true, true, {L"id"}});
  auto table = create(L"t", schema, keys);
  // 500 rows wide enough to reach the server before the batch ends, then a
  // hundred rows by statement, one of them (record #550) with key 3.
  const std::wstring wide_value(100, L'v');
  for (int i = 1; i <= 600; ++i) {
    const bool by_statement = i > 500;
    const int id = i == 550 ? 3 : i;
    table->append_record(
        *make_record({{L"id", ole_variant(id)}, {L"v", ole_variant(by_statement ? std::wstring() : wide_value)}}));
  }
  table->flush();
  EXPECT_EQ(srv().row_count("orv", "t"), 599u);
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0].rfind(L"t, record #550: ", 0), 0u) << tk_to_utf8(reported_[0]);
  EXPECT_NE(reported_[0].find(L"integrity"), std::wstring::npos) << tk_to_utf8(reported_[0]);
}

// A bulk connection dropped while rows with long values go: the rows of the
// open batch and the row being sent go again whole, their long values kept in
// memory or, past the limit, in the temporary file.
TEST_F(mss_engine_test, LongValuesAreSentWholeAgainAfterADroppedBulkConnection) {
  struct limit_guard {
    std::size_t saved = mss_fast_load::kept_memory_limit;
    ~limit_guard() { mss_fast_load::kept_memory_limit = saved; }
  } guard;
  const struct {
    const char* name;
    std::size_t kept_in_memory;
  } cases[] = {{"long values kept in memory", guard.saved}, {"long values past the limit in a file", 100000}};
  database(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mss_fast_load::kept_memory_limit = c.kept_in_memory;
    const std::wstring name = c.kept_in_memory == guard.saved ? L"mem" : L"file";
    udb_schema schema;
    add(schema, L"id", VT_I4);
    add(schema, L"t", VT_BSTR, 0);
    add(schema, L"b", VT_BLOB, 0);
    auto table = create(name, schema);
    auto text = [](int i) { return std::wstring(20000, static_cast<wchar_t>(L'a' + i % 26)) + std::to_wstring(i); };
    auto bytes = [](int i) {
      std::vector<BYTE> b(20000 + static_cast<std::size_t>(i));
      for (std::size_t k = 0; k < b.size(); ++k) b[k] = static_cast<BYTE>(k * 7 + static_cast<std::size_t>(i));
      return b;
    };
    // The server drops the bulk connection once, at the 51st row.
    srv().set_drop_after_bulk_rows(50);
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
      while (!stop && srv().bulk_rows() <= 50) std::this_thread::sleep_for(std::chrono::microseconds(50));
      srv().set_drop_after_bulk_rows(-1);
    });
    for (int i = 1; i <= 200; ++i)
      table->append_record(*make_record({{L"id", ole_variant(i)}, {L"t", ole_variant(text(i))}, {L"b", ole_variant(bytes(i))}}));
    table->flush();
    stop = true;
    watcher.join();
    EXPECT_TRUE(reported_.empty()) << tk_to_utf8(reported_.front());
    const std::string tname = tk_to_utf8(name);
    auto columns = srv().columns("orv", tname);
    std::map<int, std::pair<std::string, std::string>> stored;
    for (const auto& row : srv().rows("orv", tname))
      stored[std::stoi(tds::cell_text(columns[0].type, row[0]))] = {tds::cell_text(columns[1].type, row[1]),
                                                                     tds::cell_text(columns[2].type, row[2])};
    ASSERT_EQ(stored.size(), 200u);
    for (int i = 1; i <= 200; ++i) {
      EXPECT_TRUE(stored[i].first == tk_to_utf8(text(i))) << "row " << i;
      EXPECT_TRUE(stored[i].second == tk_to_utf8(hex(bytes(i)))) << "row " << i;
    }
  }
  // Every connection waits at most ten minutes for a lock: the session's, and
  // each bulk connection's, the one opened again after the drop included.
  std::size_t lock_timeouts = 0;
  for (const std::string& batch : srv().received()) lock_timeouts += batch.find("SET LOCK_TIMEOUT 600000") != std::string::npos;
  EXPECT_GE(lock_timeouts, 1u + 2u * std::size(cases));
}

}  // namespace

// The same road against a real SQL Server, when ORV_MSS_TEST_HOST, _PORT,
// _USER and _PASSWORD name one: what the test server cannot prove (that the
// server takes our definitions, literals and bulk rows).
TEST(mss_real_server, CreatesFillsAndDropsADatabaseByBothRoads) {
  const char* host = std::getenv("ORV_MSS_TEST_HOST");
  const char* port = std::getenv("ORV_MSS_TEST_PORT");
  const char* user = std::getenv("ORV_MSS_TEST_USER");
  const char* password = std::getenv("ORV_MSS_TEST_PASSWORD");
  if (!host || !port || !user || !password)
    GTEST_SKIP() << "skipped: no real SQL Server (set ORV_MSS_TEST_HOST, _PORT, _USER and _PASSWORD to name one)";
  mss_engine engine(false);
  const std::wstring server = tk_from_utf8(host) + L"," + tk_from_utf8(port);
  const std::wstring name = L"orv_mss_" + std::to_wstring(::getpid()) + L"]'x";
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "bulk load" : "statements");
    engine.connect(server, tk_from_utf8(user), tk_from_utf8(password), fast);
    if (engine.is_db_exist(name)) engine.delete_db(name);
    {
      auto db = engine.create_db(name);
      udb_schema schema;
      schema.push_back(std::make_unique<t_ftd>(0, L"id", VT_I4, true, true, ole_variant(), 0));
      schema.push_back(std::make_unique<t_ftd>(20, L"s]'", VT_BSTR, false, false, ole_variant(L"it's"), 0));
      schema.push_back(std::make_unique<t_ftd>(0, L"d", VT_DECIMAL, false, false, ole_variant(), 28 * 256 + 4));
      schema.push_back(std::make_unique<t_ftd>(0, L"dt", VT_DATE, false, false, ole_variant(), 0));
      udb_indexes keys;
      keys.push_back(udb_index{L"pk", true, true, {L"id"}});
      auto created = db->create_table(L"t]'_1", schema, keys);
      auto* table = static_cast<mss_table*>(created.get());
      for (int i = 1; i <= 1500; ++i)
        table->append_record(*make_record({{L"id", ole_variant(i)},
                                           {L"s]'", ole_variant(i % 3 ? std::wstring(L"\U0001F600'x") : L"")},
                                           {L"d", typed(L"123456789012345678901234.5678", VT_DECIMAL)},
                                           {L"dt", ole_date(std::string("2004-05-06 12:34:56")).to_variant()}}));
      table->flush();
      auto count = [&](const std::wstring& where) {
        auto result = db->query(L"SELECT COUNT(*) FROM [t]]'_1]" + where);
        return result->is_eof() ? std::wstring() : (*result->get_record())[0].to_wstring();
      };
      EXPECT_EQ(count(L""), L"1500");
      EXPECT_EQ(count(L" WHERE [s]]'] = N'\U0001F600''x'"), L"1000");
      EXPECT_EQ(count(L" WHERE [s]]'] = N''"), L"500");
    }
    engine.delete_db(name);
  }
}
