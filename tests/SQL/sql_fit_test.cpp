// The limits of MySQL tables as the fit counts them: which tables the server
// takes, which rows InnoDB holds, how a wide table is made to fit; and, against
// the private server, that every table the count takes is one the server creates
// and every row it lets InnoDB hold is stored.
#include "SQL/sql_fit.h"

#include <gtest/gtest.h>

#include "SQL/sql_init.h"
#include "UDB/udb_idx.h"
#include "sql_test_env.h"

namespace {

constexpr unsigned mariadb_10_11 = 0x0A0B06;

void add(udb_schema& schema, VARTYPE vt, int size, int extra = 0, std::wstring name = {}) {
  if (name.empty()) name = L"c" + std::to_wstring(schema.size() + 1);
  schema.push_back(std::make_unique<t_ftd>(size, name, vt, false, false, ole_variant(), extra));
}

void add_texts(udb_schema& schema, int count, int size = 255) {
  for (int i = 0; i < count; ++i) add(schema, VT_BSTR, size);
}

int text_columns(const udb_schema& schema) {
  int n = 0;
  for (const t_ftd* f : schema) n += f->vartype == VT_BSTR && f->size == sql_text_size::text;
  return n;
}

}  // namespace

TEST(SqlTableFit, RowsCountAsTheServerCountsThem) {
  const sql_table_fit fit(mariadb_10_11);
  udb_schema schema;
  add_texts(schema, 64);
  // 64 x (1,020 bytes and 2 of length), and the null bits.
  EXPECT_EQ(fit.row_bytes(schema), 64u * 1022 + 9);
  EXPECT_TRUE(fit.is_taken(schema));
  std::vector<bool> none;
  EXPECT_FALSE(fit.fit(L"t", schema, none));
  EXPECT_EQ(text_columns(schema), 0);
  add_texts(schema, 1);
  EXPECT_FALSE(fit.is_taken(schema));

  // Older generations: utf8 has 3 bytes a character, servers before 4.1 one.
  EXPECT_EQ(sql_table_fit(0x50502).row_bytes(schema), 65u * 767 + 9);
  udb_schema narrow;
  add_texts(narrow, 255);
  EXPECT_TRUE(sql_table_fit(0x40000).is_taken(narrow));
  add_texts(narrow, 1);
  EXPECT_FALSE(sql_table_fit(0x40000).is_taken(narrow));

  // Row formats by generation: DYNAMIC from MySQL 5.7.9 and MariaDB 10.2.2.
  EXPECT_FALSE(sql_table_fit(0x50708).dynamic_rows());
  EXPECT_TRUE(sql_table_fit(0x50709).dynamic_rows());
  EXPECT_TRUE(sql_table_fit(0x80020).dynamic_rows());
  EXPECT_FALSE(sql_table_fit(0x0A0110).dynamic_rows());
  EXPECT_TRUE(sql_table_fit(0x0A0202).dynamic_rows());
  EXPECT_FALSE(sql_table_fit(sql_version::v5_5_3).dynamic_rows());  // what a dump is written for
}

TEST(SqlTableFit, WideTablesGetTextColumnsFromTheLastOutsideTheIndexes) {
  const sql_table_fit fit(mariadb_10_11);
  udb_schema schema;
  add_texts(schema, 65);
  std::vector<bool> indexed(65, false);
  indexed[64] = true;
  EXPECT_TRUE(fit.fit(L"t", schema, indexed));
  EXPECT_EQ(text_columns(schema), 1);
  EXPECT_EQ(schema[63].size, sql_text_size::text);  // the last one is in an index
  EXPECT_EQ(schema[64].size, 255);
  EXPECT_TRUE(fit.is_taken(schema));

  // Counted as LONGTEXT, which widening may make them: 120 columns keep 63.
  udb_schema wide;
  add_texts(wide, 120);
  EXPECT_TRUE(fit.fit(L"t", wide, {}));
  EXPECT_EQ(text_columns(wide), 57);
  EXPECT_EQ(wide[62].size, 255);
  for (std::size_t i = 63; i < wide.size(); ++i) wide[i].size = sql_text_size::longtext;
  EXPECT_TRUE(fit.is_taken(wide));
  EXPECT_TRUE(fit.innodb_holds(wide));  // 120 x 41 bytes at most in a record

  udb_schema wider;
  add_texts(wider, 255);
  EXPECT_TRUE(fit.fit(L"t", wider, {}));
  EXPECT_FALSE(fit.innodb_holds(wider));
}

TEST(SqlTableFit, InnoDBRecordsByRowFormat) {
  udb_schema schema;
  add_texts(schema, 196, sql_text_size::text);
  EXPECT_TRUE(sql_table_fit(mariadb_10_11).innodb_holds(schema));
  add_texts(schema, 1, sql_text_size::text);
  EXPECT_FALSE(sql_table_fit(mariadb_10_11).innodb_holds(schema));

  // COMPACT rows keep 768 bytes of every long value.
  udb_schema compact;
  add_texts(compact, 10, sql_text_size::text);
  EXPECT_TRUE(sql_table_fit(0x50620).innodb_holds(compact));
  add_texts(compact, 1, sql_text_size::text);
  EXPECT_FALSE(sql_table_fit(0x50620).innodb_holds(compact));
}

TEST(SqlTableFit, TablesBeyondTheLimitAreRefusedByName) {
  const sql_table_fit fit(mariadb_10_11);
  udb_schema many;
  add_texts(many, 4097);
  try {
    fit.fit(L"many", many, {});
    FAIL() << "4097 columns were taken";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400000 | 1117);
    EXPECT_EQ(std::string(e.what()).rfind("Table 'many' has 4097 columns", 0), 0u) << e.what();
  }
  EXPECT_EQ(text_columns(many), 0);  // nothing changed

  // Long names fill the table file: 795 of 64 characters fit, 796 do not.
  udb_schema names;
  for (int i = 0; i < 796; ++i) add(names, VT_BSTR, 255, 0, L"c" + std::to_wstring(1000 + i) + std::wstring(59, L'n'));
  EXPECT_THROW(fit.fit(L"names", names, {}), sql_exception);
  udb_schema fewer;
  for (int i = 0; i < 795; ++i) add(fewer, VT_BSTR, 255, 0, L"c" + std::to_wstring(1000 + i) + std::wstring(59, L'n'));
  EXPECT_TRUE(fit.fit(L"names", fewer, {}));
  // Servers that keep the names twice hold fewer.
  EXPECT_THROW(sql_table_fit(0x50620).fit(L"names", fewer, {}), sql_exception);

  // A row that is too large even with every text column as TEXT.
  udb_schema fixed;
  add_texts(fixed, 10);
  for (int i = 0; i < 900; ++i) add(fixed, VT_DATE, 19, 0);  // CHAR(19), 76 bytes
  try {
    fit.fit(L"fixed", fixed, {});
    FAIL() << "a row of 68,000 bytes was taken";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_code(), 0x400000 | 1118);
    EXPECT_NE(std::string(e.what()).find("Table 'fixed' has 910 columns"), std::string::npos) << e.what();
  }
}

TEST(SqlTableFit, AChangeKeepsTheTableWithinTheLimits) {
  const sql_table_fit fit(mariadb_10_11);
  udb_schema schema;
  add_texts(schema, 63);
  add(schema, VT_R8, 8);
  add(schema, VT_R8, 8);
  t_ftd text = schema[0];
  text.size = sql_text_size::text;
  t_ftd varchar = schema[0];
  t_ftd date = schema[63];
  date.vartype = VT_DATE;
  date.extra = 2;
  EXPECT_TRUE(fit.keeps_fit(schema, 63, date));    // a smaller column
  EXPECT_TRUE(fit.keeps_fit(schema, 0, text));     // VARCHAR to TEXT
  EXPECT_TRUE(fit.keeps_fit(schema, 63, varchar));  // one more VARCHAR(255) fits
  schema[63] = varchar;
  EXPECT_FALSE(fit.keeps_fit(schema, 64, varchar));  // a second does not
}

// ---------------------------------------------------------------- the server

namespace {

class SqlFitServer : public SqlServer {
protected:
  // The server creates the table; it is dropped again.
  bool creates(const udb_schema& schema) {
    try {
      database->create_table(L"probe", schema, udb_indexes());
    } catch (const sql_exception& e) {
      ADD_FAILURE() << e.what();
      return false;
    }
    database->delete_tab(L"probe");
    return true;
  }
};

}  // namespace

TEST_F(SqlFitServer, EveryTableTheCountTakesIsCreated) {
  // The limits of every engine: the tables are MyISAM, which has none of its own.
  engine->set_fk_supported(0);
  const sql_table_fit fit;
  struct column {
    VARTYPE vt;
    int size, extra;
  };
  const column others[] = {{VT_R8, 8, 0},     {VT_DATE, 8, 1}, {VT_DATE, 8, 2},   {VT_DATE, 8, 3},
                           {VT_DATE, 19, 0},  {VT_BOOL, 1, 0}, {VT_CY, 8, 0},     {VT_I4, 4, 0},
                           {VT_I8, 8, 0},     {VT_I2, 2, 0},   {VT_DECIMAL, 8, 0x1203},
                           {VT_BSTR, sql_text_size::text, 0}, {VT_BSTR, 40, 0}};
  for (const column& other : others) {
    udb_schema schema;
    add_texts(schema, 60);
    int added = 0;
    for (;; ++added) {
      add(schema, other.vt, other.size, other.extra);
      if (!fit.is_taken(schema)) break;
    }
    // The largest table the count takes.
    udb_schema largest;
    add_texts(largest, 60);
    for (int i = 0; i < added; ++i) add(largest, other.vt, other.size, other.extra);
    SCOPED_TRACE("type " + std::to_string(other.vt) + ", " + std::to_string(added) + " columns");
    EXPECT_TRUE(creates(largest));
  }
}

TEST_F(SqlFitServer, EveryRowTheCountLetsInnoDBHoldIsStored) {
  const sql_table_fit fit;
  ASSERT_TRUE(fit.dynamic_rows());
  // Values of 40 bytes stay in the record: the largest table of TEXT columns that
  // InnoDB holds by the count stores a row of them, two columns more refuse it.
  udb_schema schema;
  while (fit.innodb_holds(schema)) add(schema, VT_BSTR, sql_text_size::text);
  const int held = static_cast<int>(schema.size()) - 1;
  EXPECT_EQ(held, 196);
  auto store = [this](const std::wstring& name, int columns) {
    std::wstring values;
    for (int i = 0; i < columns; ++i) values += (i ? L", '" : L"'") + std::wstring(40, L'v') + L"'";
    const bool stored = engine->send(L"INSERT INTO `" + name + L"` VALUES (" + values + L")");
    if (!stored) {
      EXPECT_EQ(mysql_errno(engine->connection()), 1118u) << mysql_error(engine->connection());
    }
    return stored;
  };
  auto engine_of = [this](const std::wstring& name) {
    return rows(L"SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" +
                name + L"'")[0];
  };
  for (int extra : {0, 2}) {
    udb_schema table;
    add_texts(table, held + extra, sql_text_size::text);
    const std::wstring name = L"texts" + std::to_wstring(held + extra);
    database->create_table(name, table, udb_indexes());
    EXPECT_EQ(engine_of(name), L"InnoDB");
    EXPECT_EQ(store(name, held + extra), extra == 0);
  }
  // COMPACT rows, as older servers have them: a long value keeps 788 bytes in
  // the record. The count's largest table stores a row of such values; one
  // column more is refused.
  const sql_table_fit compact(0x50620);
  udb_schema compact_schema;
  while (compact.innodb_holds(compact_schema)) add(compact_schema, VT_BSTR, sql_text_size::text);
  const int compact_held = static_cast<int>(compact_schema.size()) - 1;
  EXPECT_EQ(compact_held, 10);
  for (int extra : {0, 1}) {
    const std::wstring name = L"compact" + std::to_wstring(compact_held + extra);
    std::wstring columns, values;
    for (int i = 0; i < compact_held + extra; ++i) {
      columns += (i ? L", c" : L"c") + std::to_wstring(i) + L" TEXT";
      values += (i ? L", '" : L"'") + std::wstring(788, L'v') + L"'";
    }
    const bool stored =
        engine->send(L"CREATE TABLE `" + name + L"` (" + columns + L") ENGINE=InnoDB ROW_FORMAT=COMPACT") &&
        engine->send(L"INSERT INTO `" + name + L"` VALUES (" + values + L")");
    EXPECT_EQ(stored, extra == 0) << mysql_error(engine->connection());
  }

  // The same columns as VARCHAR(255) are too wide for the row: they become a
  // table that stores the row.
  udb_schema wide;
  add_texts(wide, held + 2);
  database->create_table(L"wide", wide, udb_indexes());
  EXPECT_EQ(engine_of(L"wide"), L"MyISAM");
  EXPECT_TRUE(store(L"wide", held + 2));
}

TEST_F(SqlFitServer, TheLongestNamesTheCountTakesAreCreated) {
  const sql_table_fit fit;
  udb_schema schema;
  for (int i = 0;; ++i) {
    add(schema, VT_I4, 4, 0, L"c" + std::to_wstring(1000 + i) + std::wstring(59, L'n'));
    if (!fit.is_taken(schema)) break;
  }
  udb_schema largest;
  for (std::size_t i = 0; i + 1 < schema.size(); ++i) add(largest, VT_I4, 4, 0, schema[i].name);
  EXPECT_EQ(largest.size(), 795u);
  EXPECT_TRUE(creates(largest));
}
