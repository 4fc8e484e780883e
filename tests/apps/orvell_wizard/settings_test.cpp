// The converter's settings: registry defaults and round trip, profile keys,
// connection settings, and a few rules of the run that need no server.
#include <filesystem>
#include <fstream>

#include "UDB/udb_prof.h"
#include "tests/e2e/e2e_env.h"

namespace {

using ConverterSettings = converter_fixture;

TEST_F(ConverterSettings, FirstStartTakesTheDefaultsAndTheDestructorSavesThem) {
  orvell_converter& c = make_converter();
  EXPECT_TRUE(c.from_xls);
  EXPECT_TRUE(c.direct);
  EXPECT_EQ(c.get_port(), "3306");
  EXPECT_EQ(c.delimiter_index, 1);
  EXPECT_EQ(orvell_converter::delimiter_of(c.delimiter_index), ';');
  EXPECT_TRUE(c.refine_types);
  EXPECT_TRUE(c.skip_empty_rows);
  EXPECT_TRUE(c.x_fnames);
  const dump_options& d = c.get_dump_options();
  EXPECT_TRUE(d.new_version);
  EXPECT_TRUE(d.lock_tables);
  EXPECT_TRUE(d.insert_comments);
  EXPECT_TRUE(d.create_table);
  EXPECT_FALSE(d.create_database);
  EXPECT_EQ(d.line_break, 0u);

  c.from_xls = false;
  c.direct = false;
  c.delimiter_index = 3;
  c.refine_types = false;
  c.csv_table_name = L"Tabelle Ä";
  c.set_src(L"/data/Quelle ü.csv");
  c.set_dest(L"/out/dump ø.sql");
  c.store_mysql_settings("  db.example  ", "me", " pa ss;word= ", " ");
  c.get_dump_options().create_database = true;
  c.get_dump_options().line_break = 1;
  make_converter();  // saves the first, loads into the second
  orvell_converter& again = *converter;
  EXPECT_FALSE(again.from_xls);
  EXPECT_FALSE(again.direct);
  EXPECT_EQ(again.delimiter_index, 3);
  EXPECT_FALSE(again.refine_types);
  EXPECT_EQ(again.csv_table_name, L"Tabelle Ä");
  EXPECT_EQ(again.get_src(), L"/data/Quelle ü.csv");
  EXPECT_EQ(again.get_dest(), L"/out/dump ø.sql");
  EXPECT_EQ(again.get_host(), "db.example");
  EXPECT_EQ(again.get_password(), "pa ss;word=");
  EXPECT_EQ(again.get_port(), "3306");
  EXPECT_TRUE(again.get_dump_options().create_database);
  EXPECT_EQ(again.get_dump_options().line_break, 1u);
}

TEST_F(ConverterSettings, ProfileKeysRoundTrip) {
  orvell_converter& c = make_converter();
  c.from_xls = false;
  c.x_fnames = false;
  c.refine_types = false;
  c.direct = false;
  c.set_mode(2);
  c.set_src(L"C:/in/data.csv");
  c.set_dest(L"dump.sql");
  c.store_mysql_settings("host1", "user1", "p=w;d ", "3307");
  c.get_dump_options().new_version = false;
  c.get_dump_options().line_break = 1;
  const std::wstring file = (dir / "settings.orv").wstring();
  ASSERT_TRUE(c.store_profile_file(file));
  const std::string text = test_dir::read(dir / "settings.orv");
  EXPECT_NE(text.find("[MySQL settings]\r\n"), std::string::npos);
  EXPECT_NE(text.find("password=p=w;d\r\n"), std::string::npos);
  EXPECT_NE(text.find("direct mode=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("convert from xls=0\r\n"), std::string::npos);

  // A fresh converter (registry defaults) takes the profile's settings.
  std::filesystem::remove(dir / "registry.reg");
  orvell_converter& other = make_converter();
  ASSERT_TRUE(other.load_profile_file(file));
  EXPECT_FALSE(other.from_xls);
  EXPECT_FALSE(other.x_fnames);
  EXPECT_FALSE(other.refine_types);
  EXPECT_FALSE(other.direct);
  EXPECT_EQ(other.get_mode(), 2);
  EXPECT_EQ(other.get_src(), L"C:/in/data.csv");
  EXPECT_EQ(other.get_host(), "host1");
  EXPECT_EQ(other.get_password(), "p=w;d");
  EXPECT_EQ(other.get_port(), "3307");
  EXPECT_FALSE(other.get_dump_options().new_version);
  EXPECT_EQ(other.get_dump_options().line_break, 1u);
}

TEST_F(ConverterSettings, ProfileGapsKeepTheRegistrySettings) {
  orvell_converter& c = make_converter();
  c.store_mysql_settings("registry-host", "u", "", "3306");
  std::ofstream(dir / "p.orv", std::ios::binary)
      << "[MySQL settings]\r\nuser=profile-user\r\ndump line break=2\r\n\r\n[MS Excel settings]\r\nconvert from "
         "xls=0\r\n\r\n";
  ASSERT_TRUE(c.load_profile_file((dir / "p.orv").wstring()));
  EXPECT_EQ(c.get_host(), "registry-host");
  EXPECT_EQ(c.get_user(), "profile-user");
  EXPECT_EQ(c.get_dump_options().line_break, 0u);
}

TEST_F(ConverterSettings, AProfilesSelectedQueriesStaySelectedWithItsWorksheets) {
  orvell_converter& c = make_converter();
  const std::filesystem::path xls = dir / "sample.xls";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", xls);
  std::ofstream(dir / "q.orv", std::ios::binary)
      << "[Selected Tables]\r\nData\r\nBig=SELECT Name FROM [Data$] WHERE Amount > 1\r\n\r\n[Generic settings]\r\n"
         "src="
      << xls.string() << "\r\n\r\n[MS Excel settings]\r\nconvert from xls=1\r\n\r\n";
  ASSERT_TRUE(c.load_profile_file((dir / "q.orv").wstring()));
  ASSERT_EQ(c.get_sheets().size(), 2u);
  EXPECT_EQ(c.get_sheets().at(L"Data"), L"Data$");
  EXPECT_EQ(c.selected_queries().at(L"Big"), L"SELECT Name FROM [Data$] WHERE Amount > 1");
  // Saved again, the profile still selects both.
  udb_profile saved;
  ASSERT_TRUE(c.store_profile(saved));
  EXPECT_EQ(saved.get_selected_tables().size(), 2u);
}

TEST_F(ConverterSettings, SaveSettingsReportsAFileThatCannotBeWritten) {
  orvell_converter& c = make_converter();
  EXPECT_FALSE(c.store_profile_file((dir / "missing-folder" / "s.orv").wstring()));
  EXPECT_THROW(c.load_profile_file((dir / "absent.orv").wstring()), tk_exception);
}

TEST_F(ConverterSettings, PortMustBeANumber) {
  orvell_converter& c = make_converter();
  for (const char* port : {"abc", "0", "-1", "70000"}) {
    c.store_mysql_settings("127.0.0.1", "u", "p", port);
    try {
      c.connect_mysql_server();
      ADD_FAILURE() << port;
    } catch (const tk_exception& e) {
      EXPECT_STREQ(e.what(), "Invalid port number");
      EXPECT_EQ(e.get_level(), 1);
    }
  }
}

TEST_F(ConverterSettings, TitleAndProgressWithoutARun) {
  orvell_converter& c = make_converter();
  EXPECT_EQ(orvell_converter::get_title().rfind(L"Orvell ", 0), 0u);
  c.from_xls = false;
  EXPECT_EQ(c.get_progress(), 100);  // no CSV reader yet
  c.from_xls = true;
  EXPECT_EQ(c.get_progress(), 0);  // no worksheets
}

}  // namespace
