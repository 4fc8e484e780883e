// The SQL Server driver's settings: the console variant's defaults, the
// wizard variant's registry values, and the profile keys of both.
#include <gtest/gtest.h>

#include <filesystem>

#include "UDB/udb_prof.h"
#include "common/dun_conv.h"
#include "common/error_handler.h"
#include "platform/kernel/registry.h"
#include "tests/support/test_dir.h"

namespace {

class DunmereSettings : public ::testing::Test {
protected:
  void SetUp() override { kernel::set_registry_file(registry.string()); }
  void TearDown() override { kernel::set_registry_file(std::nullopt); }
  test_dir dir;
  std::filesystem::path registry = dir / "registry.reg";
};

TEST_F(DunmereSettings, TheConsoleVariantStartsFromItsDefaultsAndKeepsNothing) {
  {
    dunmere_convertor c{dunmere_convertor::console_variant{}};
    EXPECT_TRUE(c.is_console());
    EXPECT_TRUE(c.from_xls);
    EXPECT_FALSE(c.x_fnames);
    EXPECT_TRUE(c.refine_types);
    EXPECT_EQ(c.delimiter_index, -1);
    EXPECT_EQ(c.get_mode(), 0);
    EXPECT_TRUE(c.connection().windows_authentication);
    c.set_src(L"x.xlsx");
  }
  EXPECT_FALSE(std::filesystem::exists(registry));
}

TEST_F(DunmereSettings, TheWizardVariantKeepsItsSettingsInTheRegistry) {
  {
    dunmere_convertor c;
    EXPECT_TRUE(c.x_fnames);
    EXPECT_EQ(c.delimiter_index, 1);
    EXPECT_TRUE(c.connection().windows_authentication);
    c.from_xls = false;
    c.delimiter_index = 2;
    c.csv_table_name = L"Tabelle \u00C4";
    c.set_connection(L"db.example,1433", L"me", L" pa ss;word= ");
    c.connection().windows_authentication = false;
    c.set_dest(L"Ziel");
  }
  dunmere_convertor again;
  EXPECT_FALSE(again.from_xls);
  EXPECT_EQ(again.delimiter_index, 2);
  EXPECT_EQ(again.csv_table_name, L"Tabelle \u00C4");
  EXPECT_EQ(again.connection().server, L"db.example,1433");
  EXPECT_EQ(again.connection().login, L"me");
  EXPECT_EQ(again.connection().password, L" pa ss;word= ");
  EXPECT_FALSE(again.connection().windows_authentication);
  EXPECT_EQ(again.get_dest(), L"Ziel");
}

TEST_F(DunmereSettings, ProfileKeysRoundTripAndEmptyConnectionKeysAreNotWritten) {
  udb_profile written;
  {
    dunmere_convertor c{dunmere_convertor::console_variant{}};
    c.set_src(L"/data/a.csv");
    c.set_dest(L"d");
    c.from_xls = false;
    c.x_fnames = true;
    c.set_mode(3);
    c.set_connection(L"", L"sa", L"p=w;");
    c.connection().windows_authentication = false;
    c.get_engine().set_as_dbo(true);
    ASSERT_TRUE(c.store_profile(written));
  }
  const wchar_t* section = L"MS SQL Server settings";
  EXPECT_EQ(written.get_value(section, L"server"), L"");
  EXPECT_EQ(written.get_value(section, L"login"), L"sa");
  EXPECT_EQ(written.get_value(section, L"password"), L"p=w;");
  EXPECT_EQ(written.get_value(section, L"windows authentication"), L"0");
  EXPECT_EQ(written.get_value(section, L"connect as DBO"), L"1");
  EXPECT_EQ(written.get_value(L"MS Excel settings", L"convert from xls"), L"0");

  dunmere_convertor back{dunmere_convertor::console_variant{}};
  back.set_connection(L"kept", L"", L"");
  ASSERT_TRUE(back.load_profile(written));
  EXPECT_EQ(back.connection().server, L"kept");
  EXPECT_EQ(back.connection().login, L"sa");
  EXPECT_EQ(back.connection().password, L"p=w;");
  EXPECT_FALSE(back.connection().windows_authentication);
  EXPECT_TRUE(back.get_engine().is_as_dbo());
  EXPECT_FALSE(back.from_xls);
  EXPECT_TRUE(back.x_fnames);
  EXPECT_EQ(back.get_mode(), 3);
  EXPECT_EQ(back.get_src(), L"/data/a.csv");
}

}  // namespace
