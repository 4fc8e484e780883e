// The engine wrapper: versions from the class table, opening workbooks, and the
// engine's errors as dao_exception.
#include <gtest/gtest.h>

#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/xls_reader.h"
#include "platform/com/com_runtime.h"
#include "workbook_fixtures.h"

namespace {

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A driver's reader, as the converters derive from it.
struct test_reader : xls_reader {
  bool test_query(const std::wstring&) override { return true; }
};

TEST(DaoEngine, VersionsFromTheClassTable) {
  dao_engine engine;
  EXPECT_EQ(engine.get_version_key(), dao_version_none);
  EXPECT_EQ(co_initialize_count(), 1);
  EXPECT_TRUE(engine.set_version_if(dao_version_ace12));
  EXPECT_EQ(engine.get_version_key(), 3);
  EXPECT_TRUE(engine.set_version_if(dao_version_36));
  EXPECT_EQ(engine.get_version_key(), 0);
  EXPECT_FALSE(engine.set_version_if(2));  // DAO 3.0 is not there
  try {
    engine.set_version_if(7);
    ADD_FAILURE();
  } catch (const tk_mail_assertion& e) {
    EXPECT_NE(std::string(e.what()).find(tk_location_code("dao_engi", 402)), std::string::npos);
  }
  EXPECT_THROW(dao_engine second, tk_mail_assertion);
}

TEST(DaoEngine, WithoutTheEngineClassesNoVersionLoads) {
  {
    dao_engine engine;
    withdraw_com_class(CLSID_DBEngine120);
    withdraw_com_class(CLSID_DBEngine36);
    EXPECT_FALSE(engine.set_version_if(dao_version_ace12));
    EXPECT_FALSE(engine.set_version_if(dao_version_36));
  }
  fixtures::temp_dir dir;
  fixtures::write_sample_xlsx(dir.file("s.xlsx"));
  test_reader reader;
  reader.set_src(wide(dir.file("s.xlsx")));
  std::vector<std::wstring> sheets{L"stale"};
  EXPECT_FALSE(reader.get_all_sheets(sheets));
  EXPECT_TRUE(sheets.empty());
  register_dao_engine();
  EXPECT_TRUE(reader.get_all_sheets(sheets));
  EXPECT_EQ(co_initialize_count(), 0);
}

TEST(DaoEngine, OpenedReadOnlyAndErrorsCarryJetNumbers) {
  fixtures::temp_dir dir;
  fixtures::write_sample_xlsx(dir.file("s.xlsx"));
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  auto db = engine.open_dao_src(wide(dir.file("s.xlsx")), L"Excel 5.0; IMEX=1;", 1);
  EXPECT_EQ(db->get_mode(), 0x21u);
  struct expected {
    std::string path;
    int code;
  };
  for (const auto& [path, code] : {expected{fixtures::xls_fixture("password.xls"), 0x10C59},
                                   expected{fixtures::xls_fixture("corrupt.xls"), 0x10CCA},
                                   expected{dir.file("nowhere.xlsx"), 0x10BD0}}) {
    try {
      engine.open_dao_src(wide(path), L"Excel 5.0; IMEX=1;", 1);
      ADD_FAILURE() << path;
    } catch (const dao_exception& e) {
      EXPECT_EQ(e.get_code(), code) << path;
      EXPECT_EQ(e.get_level(), 0);
      EXPECT_FALSE(e.message().empty());
    }
  }
}

}  // namespace
