// The SQL Server destination against the TDS test server: connections,
// databases, tables created and filled by bulk load and by statements, and
// read back exactly.
#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include <unistd.h>

#include "MSS/odb_exce.h"
#include "OLE/ole_date.h"
#include "TK/tk_errco.h"
#include "TK/tk_trace.h"
#include "platform/oledb/connection_string.h"
#include "MSS/mss_vali.h"
#include "tests/MSS/mss_engine_env.h"
#include "tests/support/test_dir.h"

namespace {

std::vector<std::string> split(const std::string& line) { return tk_split(line, '|'); }

ole_variant date(const char* text) { return ole_date(std::string(text)).to_variant(); }

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
    const std::string dbname = fast ? "bulk" : "stmt";
    connect(fast);
    srv().execute("CREATE DATABASE [" + dbname + "]");
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

TEST_F(mss_engine_test, BulkLoadsCommitEveryThousandRowsAndAtTheEnd) {
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  auto table = create(L"t", schema);
  for (int i = 1; i <= 2500; ++i) {
    table->append_record(*make_record({{L"id", ole_variant(i)}}));
    if (i == 999) EXPECT_EQ(srv().row_count("orv", "t"), 0u);
    if (i == 1000) EXPECT_EQ(srv().row_count("orv", "t"), 1000u);
    if (i == 2000) EXPECT_EQ(srv().row_count("orv", "t"), 2000u);
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

TEST_F(mss_engine_test, ADroppedBulkConnectionIsReportedWithTheRecordsItCost) {
  database(true);
  udb_schema schema;
  add(schema, L"id", VT_I4);
  auto table = create(L"t", schema);
  srv().set_drop_after_bulk_rows(1500);
  std::string failure;
  int failed_at = 0;
  for (int i = 1; i <= 2500 && failure.empty(); ++i) {
    failure = thrown([&] { table->append_record(*make_record({{L"id", ole_variant(i)}})); });
    failed_at = i;
  }
  EXPECT_EQ(failed_at, 2000);
  EXPECT_NE(failure.find("Records #1001 to #2000 of the table were not stored."), std::string::npos) << failure;
  EXPECT_EQ(srv().row_count("orv", "t"), 1000u);

  // Once the server takes bulk rows again, the load goes on.
  srv().set_drop_after_bulk_rows(-1);
  for (int i = 2001; i <= 2010; ++i) table->append_record(*make_record({{L"id", ole_variant(i)}}));
  table->flush();
  EXPECT_EQ(srv().row_count("orv", "t"), 1010u);

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
  EXPECT_NE(failure.find("Records #1001 to #"), std::string::npos) << failed_at << ": " << failure;
  EXPECT_EQ(srv().row_count("orv", "wide"), 1000u);
  srv().set_drop_after_bulk_rows(-1);

  // A server gone for good: the final commit says so.
  table->append_record(*make_record({{L"id", ole_variant(1)}}));
  srv().stop();
  EXPECT_THROW(table->flush(), tk_exception);
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
    const std::string dbname = fast ? "bulk" : "stmt";
    connect(fast);
    srv().execute("CREATE DATABASE [" + dbname + "]");
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
