// A CSV file and a legacy workbook into dump files, which the mariadb client
// then loads into the server: the loaded rows must be the source values, and
// a dump that cannot be written ends the run with an error, not a success.
#include <filesystem>
#include <algorithm>
#include <fstream>

#include "platform/kernel/codepage.h"
#include "tests/e2e/csv_fixtures.h"
#include "tests/e2e/e2e_env.h"

namespace {

// A converter writing a dump file, and a database of the test's own to load it into.
class IntoDump : public converter_fixture {
protected:
  void SetUp() override {
    ORV_REQUIRE_E2E_SERVER();
    converter_fixture::SetUp();
    client = std::make_unique<check_client>();
    db = unique_name("orvd");
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    client->exec("CREATE DATABASE `" + db + "`");
    dump = dir / "out.sql";
    orvell_converter& c = make_converter();
    c.direct = false;
    c.set_dest(dump.wstring());
  }
  void TearDown() override {
    if (client) client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    converter_fixture::TearDown();
  }
  std::string load() { return load_dump(db, dump); }
  std::vector<sql_row> table_rows(const std::string& table, const std::string& order) {
    return client->rows("SELECT * FROM `" + db + "`.`" + table + "` ORDER BY " + order);
  }

  std::unique_ptr<check_client> client;
  std::string db;
  std::filesystem::path dump;
};

TEST_F(IntoDump, CsvLoadsBackWithItsValuesAndRefinedTypes) {
  const std::string longer = "Ünïcødé " + std::string(400, 'y') + " 😀";
  std::string content = "id;Product Description;price;day\n";
  content += "1;\"line one\nline two\";1.5;2004-05-06\n";
  content += "2;\"say \"\"hi\"\"\";;2004-05-07\n";
  content += "3;" + longer + ";30000.25;\n";
  std::ofstream(dir / "in.csv", std::ios::binary) << content;
  orvell_converter& c = *converter;
  c.from_xls = false;
  c.set_src((dir / "in.csv").wstring());
  c.csv_table_name = L"items";
  c.delimiter_index = 1;
  c.x_fnames = true;
  c.refine_types = true;
  (*converter)();
  EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
  ASSERT_TRUE(std::filesystem::exists(dump));
  ASSERT_EQ(load(), "");

  auto rows = table_rows("items", "id");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"1", "line one\nline two", "1.5", "2004-05-06"}));
  EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"2", "say \"hi\"", "<null>", "2004-05-07"}));
  EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{"3", longer, "30000.25", "<null>"}));
  auto cols = client->columns(db, "items");
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_EQ(cols[0], "id int(11)");
  EXPECT_EQ(cols[1].rfind("Product Description text utf8mb4", 0), 0u) << cols[1];
  EXPECT_EQ(cols[2], "price double");
  EXPECT_EQ(cols[3], "day date");
}

// Every reader fixture through its own dump file: the loaded values are the
// file's, and the errors of the run are the live run's.
TEST_F(IntoDump, CsvFixturesLoadBackExactly) {
  ASSERT_TRUE(kernel::set_thread_code_page(CP_UTF8));
  int n = 0;
  for (const csv_fixture_case& f : csv_fixture_cases()) {
    dialogs->listed.clear();
    const std::string table = "f" + std::to_string(++n);
    orvell_converter& c = *converter;
    c.from_xls = false;
    c.set_src(csv_fixture_path(f.file).wstring());
    c.csv_table_name = tk_from_utf8(table);
    c.delimiter_index = f.delimiter_index;
    c.x_fnames = true;
    c.refine_types = false;
    (*converter)();
    expect_fixture_errors(dialogs->listed, f);
    EXPECT_EQ(load(), "") << f.file;
    std::vector<std::vector<std::string>> got;
    for (const sql_row& row : table_rows(table, "CAST(id AS UNSIGNED)"))
      got.push_back(texts(row));
    EXPECT_EQ(got, f.rows) << f.file;
  }
  kernel::set_thread_code_page(0);
}

TEST_F(IntoDump, Utf16FileIsRefusedWithoutADump) {
  orvell_converter& c = *converter;
  c.from_xls = false;
  c.set_src(csv_fixture_path("utf16le_bom.csv").wstring());
  c.csv_table_name = L"t";
  (*converter)();
  ASSERT_EQ(dialogs->listed.size(), 1u);
  EXPECT_NE(dialogs->listed[0].find("is UTF-16 text"), std::string::npos) << dialogs->listed[0];
  EXPECT_FALSE(std::filesystem::exists(dump));
}

TEST_F(IntoDump, LegacyWorkbookLoadsBackWithEveryWorksheet) {
  const std::filesystem::path xls = dir / "sample.xls";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", xls);
  orvell_converter& c = *converter;
  c.from_xls = true;
  c.x_fnames = true;
  c.refine_types = true;
  c.set_src(xls.wstring());
  std::vector<std::wstring> all;
  ASSERT_TRUE(c.get_all_sheets(all));
  const std::vector<std::wstring> names{L"Data", L"My ''Sheet"};
  c.selected_table_names() = names;
  c.set_sel_sheets(names);
  (*converter)();
  EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
  EXPECT_EQ(converter->get_progress(), 100);
  ASSERT_EQ(load(), "");

  expect_sample_workbook(*client, db);
}

TEST_F(IntoDump, ADumpThatCannotBeWrittenIsAnErrorOfTheRun) {
  std::ofstream(dir / "in.csv", std::ios::binary) << "a;b\n1;2\n";
  orvell_converter& c = *converter;
  c.from_xls = false;
  c.set_src((dir / "in.csv").wstring());
  c.csv_table_name = L"t";
  c.set_dest((dir / "no such folder" / "out.sql").wstring());
  (*converter)();
  ASSERT_EQ(dialogs->listed.size(), 1u);
  EXPECT_NE(dialogs->listed[0].find("out.sql"), std::string::npos) << dialogs->listed[0];
  if (std::filesystem::exists("/dev/full")) {
    // A full disk: the last rows cannot be written when the file ends.
    dialogs->listed.clear();
    c.set_dest(L"/dev/full");
    (*converter)();
    EXPECT_EQ(dialogs->listed.size(), 1u);
  }
}

}  // namespace
