// The limits of MySQL tables as the fit counts them: which tables the server
// takes, which rows InnoDB holds, how a wide table is made to fit; and, against
// the private server, that every table the count takes is one the server creates
// and every row it lets InnoDB hold is stored; and on a server of COMPACT rows,
// that tables of long texts arrive whole, directly and through a dump.
#include "SQL/sql_fit.h"

#include <gtest/gtest.h>

#include "SQL/sql_dump.h"
#include "SQL/sql_init.h"
#include "UDB/udb_idx.h"
#include "sql_test_env.h"
#include "tests/support/test_dir.h"

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

  // The row format of a new table: the server's setting, else the default of its
  // generation (DYNAMIC from MySQL 5.7.9 and MariaDB 10.2.2).
  using rows = sql_table_fit::innodb_rows;
  const struct {
    unsigned version;
    const char* setting;
    rows format;
  } formats[] = {{0x50708, "", rows::compact},          {0x50709, "", rows::dynamic},
                 {0x80020, "", rows::dynamic},          {0x0A0110, "", rows::compact},
                 {0x0A0202, "", rows::dynamic},         {sql_version::v5_5_3, "", rows::compact},
                 {mariadb_10_11, "compact", rows::compact}, {mariadb_10_11, "REDUNDANT", rows::redundant},
                 {0x50620, "dynamic", rows::dynamic},   {mariadb_10_11, "other", rows::dynamic}};
  for (const auto& f : formats)
    EXPECT_EQ(sql_table_fit(f.version, f.setting).rows(), f.format) << std::hex << f.version << " " << f.setting;
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

  // COMPACT and REDUNDANT rows keep 768 bytes of every long value, and REDUNDANT
  // ones the end of every column: beside 10 VARCHAR(255) columns MariaDB 10.11
  // creates and fills 24 DOUBLE columns in COMPACT rows, 19 in REDUNDANT ones.
  const struct {
    const char* format;
    int texts, doubles;
    bool held;
  } cases[] = {{"compact", 10, 0, true},   {"compact", 11, 0, false},  {"redundant", 11, 0, false},
               {"compact", 10, 24, true},  {"compact", 10, 25, false}, {"redundant", 10, 19, true},
               {"redundant", 10, 20, false}, {"dynamic", 11, 0, true}};
  for (const auto& c : cases) {
    udb_schema table;
    add_texts(table, c.texts);
    for (int i = 0; i < c.doubles; ++i) add(table, VT_R8, 8);
    EXPECT_EQ(sql_table_fit(mariadb_10_11, c.format).innodb_holds(table), c.held)
        << c.format << ", " << c.texts << " + " << c.doubles;
  }
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
  auto texts = [](int columns) {
    udb_schema schema;
    add_texts(schema, columns, sql_text_size::text);
    return schema;
  };
  // A row of values of that many bytes; a refused one is refused for its size.
  auto store = [this](const std::wstring& name, int columns, std::size_t bytes) {
    std::wstring values;
    for (int i = 0; i < columns; ++i) values += (i ? L", '" : L"'") + std::wstring(bytes, L'v') + L"'";
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
  // Created InnoDB by hand, the largest table of TEXT columns that the count lets
  // InnoDB hold stores a row of the longest values its records keep whole (40
  // bytes in DYNAMIC rows; in COMPACT ones the 768-byte prefix and the pointer);
  // with more columns the server refuses the table or the row.
  struct format_case {
    const char* name;
    std::size_t value_bytes;
    int held, more;
  };
  for (const format_case& format : {format_case{"DYNAMIC", 40, 196, 2}, format_case{"COMPACT", 788, 10, 1}}) {
    const sql_table_fit fit(engine->server_version(), format.name);
    int held = 0;
    while (fit.innodb_holds(texts(held + 1))) ++held;
    EXPECT_EQ(held, format.held) << format.name;
    for (int columns : {held, held + format.more}) {
      const std::wstring name = tk_from_utf8(format.name) + std::to_wstring(columns);
      std::wstring definition;
      for (int i = 0; i < columns; ++i) definition += (i ? L", c" : L"c") + std::to_wstring(i) + L" TEXT";
      bool stored = engine->send(L"CREATE TABLE `" + name + L"` (" + definition + L") ENGINE=InnoDB ROW_FORMAT=" +
                                 tk_from_utf8(format.name));
      if (!stored) {
        EXPECT_EQ(mysql_errno(engine->connection()), 1118u) << mysql_error(engine->connection());
      }
      stored = stored && store(name, columns, format.value_bytes);
      EXPECT_EQ(stored, columns == held) << format.name << ", " << columns << " columns";
    }
  }

  // The destination gives the count's largest table InnoDB (this server's rows
  // are DYNAMIC) and a wider one MyISAM, which stores the row; so it does for the
  // same columns as VARCHAR(255), too wide for the row, which become TEXT.
  ASSERT_TRUE(sql_table_fit().dynamic_rows());
  for (int columns : {196, 198}) {
    const std::wstring name = L"texts" + std::to_wstring(columns);
    database->create_table(name, texts(columns), udb_indexes());
    EXPECT_EQ(engine_of(name), columns == 196 ? L"InnoDB" : L"MyISAM");
    EXPECT_TRUE(store(name, columns, 40));
  }
  udb_schema wide;
  add_texts(wide, 198);
  database->create_table(L"wide", wide, udb_indexes());
  EXPECT_EQ(engine_of(L"wide"), L"MyISAM");
  EXPECT_TRUE(store(L"wide", 198, 40));
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

// ---------------------------------------------------------------- COMPACT rows

namespace {

// A server whose InnoDB gives new tables COMPACT rows and refuses at CREATE TABLE
// one whose records could outgrow them.
class SqlFitCompactServer : public SqlServer {
protected:
  static void SetUpTestSuite() {
    if (sql_test_server::get().found)
      own = std::make_unique<sql_private_server>("--innodb-default-row-format=compact --innodb-strict-mode=ON");
  }
  static void TearDownTestSuite() { own.reset(); }
  const sql_test_server& server() const override { return own ? own->server() : sql_test_server::get(); }

  static inline std::unique_ptr<sql_private_server> own;
};

// Row r, column c: 255 characters of four bytes, its number first.
std::wstring long_text(int r, int c) {
  const std::wstring head = std::to_wstring(r) + L"." + std::to_wstring(c) + L" ";
  return head + std::wstring(255 - head.size(), L'\U0001F600');
}

// A table of text columns of 255 characters with two rows of long_text.
void write_texts(udb_database& db, const std::wstring& name, int columns) {
  udb_schema schema;
  add_texts(schema, columns);
  std::unique_ptr<udb_recordset> table = db.create_table(name, schema, udb_indexes());
  for (int r = 0; r < 2; ++r) {
    udb_record record;
    for (int c = 0; c < columns; ++c)
      record.add_field(std::make_unique<udb_field>(schema[c].name, 0, ole_variant(long_text(r, c))));
    table->append_record(record);
  }
}

}  // namespace

TEST_F(SqlFitCompactServer, TablesOfLongTextsArriveWholeDirectlyAndThroughADump) {
  ASSERT_EQ(engine->default_row_format(), "compact");
  const struct {
    int columns;
    const wchar_t* engine;
  } cases[] = {{10, L"InnoDB"}, {11, L"MyISAM"}, {64, L"MyISAM"}};
  for (const auto& c : cases) write_texts(*database, L"direct" + std::to_wstring(c.columns), c.columns);
  test_dir dir;
  const std::string file = (dir / "compact.sql").string();
  {
    const unsigned version = engine->server_version();
    auto dump = engine->create_dump(tk_from_utf8(file), dmp_settings{});
    for (const auto& c : cases) write_texts(*dump, L"dump" + std::to_wstring(c.columns), c.columns);
    dump->close();
    engine->set_server_version(version);
    engine->set_default_row_format("compact");
  }
  int status = 0;
  const rows_t out = run_client(client(tk_to_utf8(db_name), server()) + " < " + shell_quote(file), status);
  ASSERT_EQ(status, 0) << joined(out);

  for (const auto& c : cases) {
    for (const std::wstring road : {L"direct", L"dump"}) {
      const std::wstring name = road + std::to_wstring(c.columns);
      SCOPED_TRACE(tk_to_utf8(name));
      const std::wstring where = L" FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = '" + name + L"'";
      EXPECT_EQ(rows(L"SELECT ENGINE" + where), std::vector<std::wstring>{c.engine});
      EXPECT_EQ(rows(L"SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND "
                     L"TABLE_NAME = '" + name + L"' AND COLUMN_TYPE = 'varchar(255)'"),
                std::vector<std::wstring>{std::to_wstring(c.columns)});
      std::vector<std::wstring> want;
      for (int r = 0; r < 2; ++r) {
        std::wstring line;
        for (int i = 0; i < c.columns; ++i) line += (i ? L"|" : L"") + long_text(r, i);
        want.push_back(line);
      }
      EXPECT_EQ(rows(L"SELECT * FROM `" + name + L"` ORDER BY c1"), want);
    }
  }
  EXPECT_TRUE(reported.empty()) << tk_to_utf8(reported.front());
}
