#include <gtest/gtest.h>

#include "sql_test_env.h"
#include "SQL/sql_recs.h"
#include "SQL/sql_tab.h"
#include "TK/tk_trace.h"

#include <fstream>
#include <sstream>

TEST(SqlConnect, ErrorCodesOfRefusedConnections) {
  ORV_REQUIRE_MYSQL();
  const sql_test_server& s = sql_test_server::get();
  sql_engine engine;
  try {
    engine.connect(s.host, s.user, "wrong-password", s.port);
    FAIL() << "connected with a wrong password";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400415);
    EXPECT_EQ(e.get_level(), 0);
  }
  try {
    engine.connect("127.0.0.1", s.user, s.password, 1);
    FAIL() << "connected to a closed port";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x4007D3);
  }
  engine.connect(s.host, s.user, s.password, s.port);
  engine.connect(s.host, s.user, s.password, s.port);  // a second connect reconnects
  EXPECT_TRUE(engine.is_connected());
  EXPECT_GE(engine.server_version(), 0x0A0000u);
  EXPECT_EQ(engine.fk_supported(), 1);
}

TEST_F(SqlServer, DatabasesAreCreatedTestedAndDropped) {
  EXPECT_TRUE(engine->is_db_exist(db_name));
  EXPECT_FALSE(engine->is_db_exist(db_name + L"_none"));
  EXPECT_THROW(engine->db_delete(db_name + L"_none"), sql_exception);
  EXPECT_THROW(engine->open_db(db_name + L"_none", 0, {}), sql_exception);
  EXPECT_EQ(database->get_tables().size(), 0u);

  // Only an unknown database does not exist: one the user may not use is the
  // server's refusal, reported as itself.
  const sql_test_server& s = server();
  const std::string user = "orv_none_" + std::to_string(getpid());
  database->query(tk_from_utf8("CREATE USER '" + user + "'@'" + s.host + "' IDENTIFIED BY 'none'"));
  engine->connect(s.host, user, "none", s.port);
  try {
    engine->is_db_exist(db_name);
    ADD_FAILURE() << "a database the user may not use was taken for missing";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400414) << e.what();
  }
  engine->connect(s.host, s.user, s.password, s.port);
  database->query(tk_from_utf8("DROP USER '" + user + "'@'" + s.host + "'"));
}

TEST_F(SqlServer, EveryTypeOfTheMapMakesAColumn) {
  udb_schema schema;
  const VARTYPE types[] = {VT_I2, VT_I4, VT_INT, VT_R4, VT_R8, VT_CY, VT_BSTR, VT_BOOL,
                           VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_UINT, VT_I8, VT_UI8,
                           VT_BLOB};
  int n = 0;
  for (VARTYPE vt : types)
    schema.push_back(std::make_unique<t_ftd>(vt == VT_BSTR ? 40 : 8, L"c" + std::to_wstring(n++),
                                             vt, false, false, ole_variant(),
                                             vt == VT_DECIMAL ? 0x0C03 : 0));
  for (int kind = 0; kind < 4; ++kind)
    schema.push_back(std::make_unique<t_ftd>(8, L"d" + std::to_wstring(kind), VT_DATE, false,
                                             false, ole_variant(), kind));
  schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, true, true, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(10, L"dflt", VT_I4, true, false,
                                           ole_variant(std::wstring(L"5")), 0));
  udb_indexes indexes;
  auto table = database->create_table(L"all types", schema, indexes);
  ASSERT_TRUE(table);
  EXPECT_TRUE(database->is_table_exist(L"ALL TYPES"));
  const auto columns = rows(L"SHOW COLUMNS FROM `all types`");
  ASSERT_EQ(columns.size(), schema.size());
  EXPECT_NE(columns[9].find(L"tinyint"), std::wstring::npos);
  EXPECT_NE(columns[8].find(L"decimal(12,3)"), std::wstring::npos);
  EXPECT_NE(columns.back().find(L"|5|"), std::wstring::npos) << columns.back();
  // The table read back has its declared sizes and defaults.
  const udb_schema& read = table->get_schema();
  EXPECT_EQ(read[6].size, 40);
  EXPECT_EQ(read[6].vartype, VT_BSTR);
  EXPECT_EQ(read[8].extra, 0x0C03);
  EXPECT_EQ(read.get_field(L"dflt").default_value.to_wstring(), L"5");
  table.reset();
  EXPECT_TRUE(database->delete_tab(L"all types"));
  EXPECT_FALSE(database->is_table_exist(L"all types"));
}

TEST_F(SqlServer, ForeignKeysAndViewsReportFailuresAndGoOn) {
  udb_schema parent, child;
  parent.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, true, false, ole_variant(), 0));
  child.push_back(std::make_unique<t_ftd>(4, L"pid", VT_I4, false, false, ole_variant(), 0));
  udb_indexes pk;
  udb_index key;
  key.name = L"PrimaryKey";
  key.primary = key.unique = true;
  key.columns = {L"id"};
  pk.push_back(key);
  database->create_table(L"parent", parent, pk);
  database->create_table(L"child", child, udb_indexes());
  udb_relationships fks;
  fks.push_back(udb_relationship(L"child", L"missing", {L"pid"}, {L"id"}, L""));
  fks.back().name = L"fk_missing";
  fks.push_back(udb_relationship(L"child", L"parent", {L"pid"}, {L"id"}, L""));
  fks.back().name = L"fk_parent";
  database->create_relationships(fks);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find(L"Foreign key 'fk_missing': Can't create foreign key."),
            std::wstring::npos);
  const auto create = rows(L"SHOW CREATE TABLE `child`");
  ASSERT_EQ(create.size(), 1u);
  EXPECT_NE(create[0].find(L"CONSTRAINT `fk_parent` FOREIGN KEY (`pid`)"), std::wstring::npos);
  EXPECT_NE(create[0].find(L"KEY `pid`"), std::wstring::npos);

  udb_database::query_map views{{L"bad", L"SELECT nothing FROM nowhere"},
                                {L"good", L"SELECT [id] FROM [parent]"}};
  database->create_views(views);
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_NE(reported[1].find(L"View 'bad': Can't create view."), std::wstring::npos);
  EXPECT_EQ(rows(L"SHOW FULL TABLES WHERE Table_type = 'VIEW'").size(), 1u);
}

TEST(SqlConnect, TheTraceNeverShowsThePassword) {
  ORV_REQUIRE_MYSQL();
  const sql_test_server& s = sql_test_server::get();
  const std::string log = ::testing::TempDir() + "sql_connect_" + std::to_string(getpid()) + ".log";
  {
    tk_trace_log trace(log.c_str(), true, 1, false);
    sql_engine engine;
    engine.connect(s.host, s.user, s.password, s.port);
  }
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(log.c_str());
  EXPECT_NE(text.str().find("sql_engine::connect(" + s.host + "," + s.user + ",***)"),
            std::string::npos)
      << text.str();
  EXPECT_EQ(text.str().find(s.password), std::string::npos);
}

TEST_F(SqlServer, StatementsOfAnOlderServerRunWhereTheServerTakesThem) {
  engine->set_server_version(0x40017);  // 4.0.23: bare names, no character set clause
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, true, true, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(20, L"two words", VT_BSTR, false, false, ole_variant(), 0));
  database->create_table(L"old_style", schema, udb_indexes()).reset();
  auto table = database->open_table(L"old_style");
  auto record = std::make_unique<udb_record>();
  record->add_field(std::make_unique<udb_field>(L"id", 4, ole_variant(std::wstring(L"7"))));
  record->add_field(std::make_unique<udb_field>(L"two_words", 20, ole_variant(std::wstring(L"x"))));
  table->append_record(*record);
  table.reset();
  engine->set_server_version(0x0A0B00);
  EXPECT_EQ(rows(L"SELECT id, two_words FROM old_style"), std::vector<std::wstring>{L"7|x"});
}
