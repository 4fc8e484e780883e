// Wide tables and long values, into the server and through a dump file that the
// mariadb client loads: CSV files of 65 to 600 text columns and a worksheet of
// 255, with every value compared, refinement on and off, the error past the
// limit; values longer than TEXT holds, widened as often as they need.
#include <xlsxwriter.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/e2e_env.h"

namespace {


const std::string emoji = "\xf0\x9f\x98\x80";  // U+1F600, four bytes in UTF-8

std::string repeat(const std::string& piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// Columns that refinement turns into numbers or dates.
bool is_number_column(std::size_t c) { return c % 50 == 7; }
bool is_date_column(std::size_t c) { return c % 50 == 8; }

// The value of a wide table's row r, column c: short and long texts of up to
// 255 characters, 4-byte characters among them; some columns hold numbers or
// dates, some are empty.
std::string wide_value(std::size_t r, std::size_t c) {
  const std::string n = std::to_string(c);
  if (is_number_column(c)) return r == 3 ? std::string() : std::to_string(static_cast<long>(c * 7 + r) - 20);
  if (is_date_column(c)) return "2004-05-0" + std::to_string(r + 1);
  switch (r) {
    case 0: return "r0c" + n;
    case 1:
      if (c % 3 == 0) return repeat(emoji, 255);
      if (c % 3 == 1) return "Zo\xc3\xab \xe6\x97\xa5\xe6\x9c\xac " + n + " " + repeat("y", 255 - 8 - n.size());
      return repeat("x", 255 - n.size()) + n;
    case 2: return "\xce\xa9" + n + emoji;
    default: return c % 4 == 0 ? std::string() : "last " + n;
  }
}

std::string csv_of(std::size_t columns, std::size_t rows) {
  std::string content;
  for (std::size_t c = 0; c < columns; ++c) content += (c ? ";" : "") + std::string("c") + std::to_string(c + 1);
  content += "\n";
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t c = 0; c < columns; ++c) content += (c ? ";" : "") + wide_value(r, c);
    content += "\n";
  }
  return content;
}

// A conversion into the server, or into a dump file loaded into a database of
// the test's own afterwards.
class Wide : public converter_fixture, public ::testing::WithParamInterface<road> {
protected:
  void SetUp() override {
    ORV_REQUIRE_E2E_SERVER();
    converter_fixture::SetUp();
    client = std::make_unique<check_client>();
    // The test's name with its road is too long for a database name.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    db = "orvw_" + std::to_string(::getpid()) + "_" +
         std::to_string(std::hash<std::string>()(std::string(info->name())) % 1000000007);
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    dump = dir / "out.sql";
    make_converter(GetParam(), *client, db, dump);
  }
  void TearDown() override {
    if (client) client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    converter_fixture::TearDown();
  }

  // Runs the conversion; a dump file is then loaded.
  void run() {
    (*converter)();
    if (GetParam() == road::dump) {
      ASSERT_TRUE(std::filesystem::exists(dump));
      ASSERT_EQ(load_dump(db, dump), "");
    }
  }
  void convert_csv(const std::string& content, bool refine, const std::string& table = "t") {
    std::ofstream(dir / "in.csv", std::ios::binary) << content;
    orvell_converter& c = *converter;
    c.from_xls = false;
    c.set_src((dir / "in.csv").wstring());
    c.csv_table_name = tk_from_utf8(table);
    c.delimiter_index = 1;
    c.x_fnames = true;
    c.refine_types = refine;
    run();
  }
  std::vector<sql_row> rows(const std::string& table, const std::string& order) {
    return client->rows("SELECT * FROM `" + db + "`.`" + table + "` ORDER BY " + order);
  }
  std::string engine(const std::string& table) {
    return client->value("SELECT ENGINE FROM information_schema.TABLES WHERE TABLE_SCHEMA='" + db +
                         "' AND TABLE_NAME='" + table + "'");
  }
  std::string dump_text() {
    std::ifstream in(dump, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string first_error() const { return dialogs->listed.empty() ? "" : dialogs->listed.front(); }
  void convert_long_values(const std::string& table, const std::vector<std::string>& values);
  std::vector<std::string> widenings(const std::string& table);

  // The engine a table of that many text columns gets: InnoDB on this server
  // (DYNAMIC rows) up to about 196 text columns; in a dump, whose servers include
  // those with COMPACT rows, up to 10; MyISAM beyond.
  std::string wide_engine(std::size_t columns) const {
    return columns <= (GetParam() == road::live ? 196u : 10u) ? "InnoDB" : "MyISAM";
  }

  std::unique_ptr<check_client> client;
  std::string db;
  std::filesystem::path dump;
};

std::string road_name(const ::testing::TestParamInfo<road>& info) {
  return info.param == road::live ? "Live" : "Dump";
}

INSTANTIATE_TEST_SUITE_P(Roads, Wide, ::testing::Values(road::live, road::dump), road_name);

// Each value of the rows back as the CSV file had it; an empty field of a
// column refined to a number is NULL.
void expect_wide_rows(const std::vector<sql_row>& got, std::size_t columns, std::size_t rows, bool refined) {
  ASSERT_EQ(got.size(), rows);
  for (std::size_t r = 0; r < rows; ++r) {
    ASSERT_EQ(got[r].size(), columns);
    for (std::size_t c = 0; c < columns; ++c) {
      const std::string want = wide_value(r, c);
      const std::string have = got[r][c] ? *got[r][c] : "<null>";
      EXPECT_EQ(have, want.empty() && refined && is_number_column(c) ? "<null>" : want)
          << "row " << r << ", column " << c + 1;
    }
  }
}

// The rows in the order of the file, by the first letter of the second column.
std::string file_order(const std::string& column) {
  return "FIELD(LEFT(" + column + ", 1), 'r', 'Z', '\xce\xa9', 'l')";
}

TEST_P(Wide, TablesOfUpTo64TextColumnsKeepTheirDefinitions) {
  convert_csv(csv_of(64, 4), false);
  EXPECT_EQ(first_error(), "");
  auto cols = client->columns(db, "t");
  ASSERT_EQ(cols.size(), 64u);
  for (std::size_t c = 0; c < 64; ++c) EXPECT_EQ(cols[c], "c" + std::to_string(c + 1) + " varchar(255) utf8mb4");
  EXPECT_EQ(engine("t"), wide_engine(64));
  expect_wide_rows(rows("t", file_order("c2")), 64, 4, false);
}

TEST_P(Wide, WideCsvFilesArriveWholeWithTextColumnsWhereTheRowNeedsThem) {
  // Text columns that stay VARCHAR(255): as many as the row of 65,535 bytes
  // holds beside the others, counted as LONGTEXT.
  const std::pair<std::size_t, std::size_t> cases[] = {{65, 64}, {120, 63}, {255, 61}, {600, 57}};
  for (const auto& [columns, varchars] : cases) {
    for (bool refine : {false, true}) {
      SCOPED_TRACE(std::to_string(columns) + " columns, refinement " + (refine ? "on" : "off"));
      const std::string table = "w" + std::to_string(columns) + (refine ? "r" : "");
      dialogs->listed.clear();
      convert_csv(csv_of(columns, 4), refine, table);
      EXPECT_EQ(first_error(), "");
      auto cols = client->columns(db, table);
      ASSERT_EQ(cols.size(), columns);
      for (std::size_t c = 0; c < columns; ++c) {
        const std::string name = "c" + std::to_string(c + 1) + " ";
        std::string type = c < varchars ? "varchar(255) utf8mb4" : "text utf8mb4";
        if (refine && is_number_column(c)) type = "int(11)";
        if (refine && is_date_column(c)) type = "date";
        EXPECT_EQ(cols[c], name + type);
      }
      EXPECT_EQ(engine(table), wide_engine(columns));
      expect_wide_rows(rows(table, file_order("c2")), columns, 4, refine);
    }
  }
}

TEST_P(Wide, AWorksheetOf255ColumnsArrivesWhole) {
  const std::string path = (dir / "wide.xlsx").string();
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Wide");
  const std::size_t columns = 255;
  for (std::size_t c = 0; c < columns; ++c) {
    const auto col = static_cast<lxw_col_t>(c);
    worksheet_write_string(sheet, 0, col, ("h" + std::to_string(c + 1)).c_str(), nullptr);
    for (std::size_t r = 0; r < 3; ++r) {
      const auto row = static_cast<lxw_row_t>(r + 1);
      if (is_number_column(c))
        worksheet_write_number(sheet, row, col, static_cast<double>(c * 10 + r), nullptr);
      else
        worksheet_write_string(sheet, row, col, wide_value(r, c).c_str(), nullptr);
    }
  }
  ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
  for (bool refine : {false, true}) {
    SCOPED_TRACE(refine ? "refinement on" : "refinement off");
    converter->set_mode(1);  // the second run replaces the table
    orvell_converter& c = *converter;
    c.from_xls = true;
    c.x_fnames = true;
    c.refine_types = refine;
    c.set_src(tk_from_utf8(path));
    std::vector<std::wstring> all;
    ASSERT_TRUE(c.get_all_sheets(all));
    c.selected_table_names() = {L"Wide"};
    c.set_sel_sheets({L"Wide"});
    dialogs->listed.clear();
    run();
    EXPECT_EQ(first_error(), "");
    auto cols = client->columns(db, "Wide");
    ASSERT_EQ(cols.size(), columns);
    std::size_t varchars = 0, texts_seen = 0;
    for (std::size_t i = 0; i < columns; ++i) {
      if (is_number_column(i)) {
        EXPECT_EQ(cols[i], "h" + std::to_string(i + 1) + (refine ? " int(11)" : " double"));
      } else if (refine && is_date_column(i)) {
        EXPECT_EQ(cols[i], "h" + std::to_string(i + 1) + " date");
      } else if (i % 3 == 0 && !is_date_column(i)) {
        // 255 characters outside the BMP are longer than 255 for the workbook: Memo.
        EXPECT_EQ(cols[i], "h" + std::to_string(i + 1) + " longtext utf8mb4");
      } else if (cols[i].find(" varchar(255) utf8mb4") != std::string::npos) {
        ++varchars;
        EXPECT_EQ(texts_seen, 0u) << cols[i];  // the last ones become TEXT
      } else {
        ++texts_seen;
        EXPECT_NE(cols[i].find(" text utf8mb4"), std::string::npos) << cols[i];
      }
    }
    EXPECT_GT(varchars, 55u);
    EXPECT_GT(texts_seen, 50u);
    EXPECT_EQ(engine("Wide"), wide_engine(columns));
    auto got = rows("Wide", file_order("h2"));
    ASSERT_EQ(got.size(), 3u);
    for (std::size_t r = 0; r < 3; ++r) {
      for (std::size_t i = 0; i < columns; ++i) {
        const std::string want = is_number_column(i) ? std::to_string(i * 10 + r) : wide_value(r, i);
        EXPECT_EQ(got[r][i] ? *got[r][i] : "<null>", want) << "row " << r << ", column " << i + 1;
      }
    }
  }
}

TEST_P(Wide, ATableBeyondTheLimitIsRefusedByName) {
  // More than 4,096 columns; and 800 of 64-character names, whose definition
  // the table file cannot hold.
  convert_csv(csv_of(4100, 1), false, "too_wide");
  ASSERT_EQ(dialogs->listed.size(), 1u);
  EXPECT_NE(first_error().find("Table 'too_wide' has 4100 columns"), std::string::npos) << first_error();
  std::string names;
  for (int c = 0; c < 800; ++c) names += (c ? ";" : "") + ("c" + std::to_string(1000 + c) + repeat("n", 59));
  dialogs->listed.clear();
  convert_csv(names + "\n" + repeat("1;", 799) + "1\n", false, "long_names");
  ASSERT_EQ(dialogs->listed.size(), 1u);
  EXPECT_NE(first_error().find("Table 'long_names' has 800 columns"), std::string::npos) << first_error();
  EXPECT_TRUE(client->tables(db).empty());
  if (GetParam() == road::dump) {
    EXPECT_EQ(dump_text().find("CREATE TABLE"), std::string::npos);
  }
}

// ---------------------------------------------------------------- long values

// A file of one text column with the values, one a row: each is stored whole.
void Wide::convert_long_values(const std::string& table, const std::vector<std::string>& values) {
  std::string content = "id;txt\n";
  for (std::size_t i = 0; i < values.size(); ++i) content += std::to_string(i + 1) + ";" + values[i] + "\n";
  convert_csv(content, true, table);
  EXPECT_EQ(first_error(), "");
  auto got = rows(table, "id");
  ASSERT_EQ(got.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(got[i][1]) << i;
    EXPECT_EQ(got[i][1]->size(), values[i].size()) << i;
    EXPECT_TRUE(*got[i][1] == values[i]) << i;
  }
}

// The types the dump file widens the column txt of the table to, in order.
std::vector<std::string> Wide::widenings(const std::string& table) {
  const std::string text = dump_text();
  const std::string statement = "ALTER TABLE `" + table + "` CHANGE `txt` `txt` ";
  std::vector<std::string> types;
  for (std::size_t at = text.find(statement); at != std::string::npos; at = text.find(statement, at + 1)) {
    const std::size_t type = at + statement.size();
    types.push_back(text.substr(type, text.find(' ', type) - type));
    EXPECT_EQ(text.compare(text.find(' ', type), 25, " CHARACTER SET utf8mb4;\r\n"), 0);
  }
  return types;
}

TEST_P(Wide, LongValuesTakeTheNarrowestTypeThatHoldsTheirBytes) {
  const std::string exactly_text = repeat("a", 65535);
  convert_long_values("fits", {exactly_text});
  EXPECT_EQ(client->columns(db, "fits")[1], "txt text utf8mb4");

  // 65,536 bytes, 100,000 characters of two bytes, 20,000 of four.
  convert_long_values("long", {exactly_text, repeat("b", 65536), repeat("\xc3\xa9", 100000), repeat(emoji, 20000)});
  EXPECT_EQ(client->columns(db, "long")[1], "txt mediumtext utf8mb4");
  if (GetParam() == road::dump) {
    EXPECT_EQ(widenings("long"), (std::vector<std::string>{"TEXT", "MEDIUMTEXT"}));
    // Before the row that needs it.
    const std::string text = dump_text();
    EXPECT_LT(text.find("`txt` MEDIUMTEXT"), text.find(repeat("b", 65536)));
  }
}

TEST_P(Wide, AColumnIsWidenedAgainWhenALongerValueComes) {
  // 300 bytes, then 70,000, then 17,000,000: TEXT, MEDIUMTEXT, LONGTEXT.
  convert_long_values("twice", {repeat("s", 300), repeat("m", 70000), repeat("L", 17000000)});
  EXPECT_EQ(client->columns(db, "twice")[1], "txt longtext utf8mb4");
  if (GetParam() == road::dump) {
    EXPECT_EQ(widenings("twice"), (std::vector<std::string>{"TEXT", "MEDIUMTEXT", "LONGTEXT"}));
  }
}

}  // namespace
