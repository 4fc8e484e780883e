// dunmere_wizard's welcome and file pages, worked through the test driver against the
// TDS test server, with a stand-in for the driver that holds the same settings.
#include "GUI2/g_err_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "MSS/odb_exce.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_wizard/dun_file.h"
#include "apps/dunmere_wizard/dun_welc.h"
#include "apps/dunmere_wizard/mss_set.h"
#include "common/error_handler.h"
#include "common/mss_conv.h"
#include "dao/xls_reader.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "tests/platform/gui/gui_environment.h"
#include "tests/support/wizard_script.h"
#include "tests/support/tds_server/tds_server.h"
#include "tests/support/test_dir.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

// The settings the pages read and write, as the SQL Server driver holds them.
struct stand_in : xls_reader, mssql_converter_impl {
  bool test_query(const std::wstring&) override { return false; }
  bool load_profile_file(const std::wstring& path) {
    loaded = path;
    from_xls = false;
    return true;
  }
  bool from_xls = true;
  bool x_fnames = true;
  bool refine_types = true;
  std::wstring csv_table_name;
  std::wstring loaded;
};

// A page the file page's Next leads to.
struct target : wizard_page {
  explicit target(int id) : wizard_page(id, L"Step 3 of 4", L"next", gui::resource_set::dunmere) {}
};

struct pages_test : ::testing::Test {
  void SetUp() override {
    if (!gui_test::display_available()) return;
    server = std::make_unique<tds::server>();
    handler = std::make_unique<error_handler>(odb_error_messages_count, odb_error_messages,
                                              std::make_unique<wizard_error_dialogs>());
    conv = std::make_unique<stand_in>();
    conv->set_connection(L"127.0.0.1," + std::to_wstring(server->port()), tk_from_utf8(server->user()),
                         tk_from_utf8(server->password()));
    conv->connection().windows_authentication = false;
    shell = std::make_unique<wizard_shell>(L"Dunmere 2.1", 501, 311, 312);
    welcome = std::make_unique<dunmere_welcome_page<stand_in>>(*conv);
    connect = std::make_unique<mssql_settings_page>(*conv);
    file = std::make_unique<dunmere_file_page<stand_in>>(*conv);
    for (wizard_page* p : std::initializer_list<wizard_page*>{welcome.get(), connect.get(), file.get(), &sheets,
                                                              &delimiter})
      shell->add_page(p);
    d.attach(*shell);
  }
  void TearDown() override {
    if (shell) shell->close();
    welcome.reset();
    connect.reset();
    file.reset();
    shell.reset();
    conv.reset();
    handler.reset();
    server.reset();
  }

  // From the welcome page to the file page, connected.
  void to_file_page(bool xls) {
    shell->open(nullptr);
    d.click(xls ? 1329 : 1330);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 118);
    d.press(gui::ID_PSNEXT);  // the connecting dialog needs no answer: its worker ends it
    ASSERT_EQ(d.page_id(), 105);
  }

  std::filesystem::path write(const std::string& name, const std::string& text) {
    const auto p = dir.path() / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

  std::vector<std::wstring> messages() const { return message_texts(d); }

  test_dir dir;
  gui::driver d;
  std::unique_ptr<tds::server> server;
  std::unique_ptr<error_handler> handler;
  std::unique_ptr<stand_in> conv;
  std::unique_ptr<wizard_shell> shell;
  std::unique_ptr<dunmere_welcome_page<stand_in>> welcome;
  std::unique_ptr<mssql_settings_page> connect;
  std::unique_ptr<dunmere_file_page<stand_in>> file;
  target sheets{127}, delimiter{107};
};

TEST_F(pages_test, WelcomeChoosesTheSourceKindAndLoadsDunProfiles) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  EXPECT_EQ(d.page_id(), 103);
  EXPECT_TRUE(d.page_controls().checked(1329));
  const auto profile = write("last.dun", "");
  d.answer_file(profile.wstring());
  d.click(1115);
  EXPECT_EQ(conv->loaded, profile.wstring());
  EXPECT_TRUE(d.page_controls().checked(1330));  // the profile's CSV source shows
  EXPECT_FALSE(d.page_controls().checked(1329));
  const auto log = d.log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().kind, "open");
  EXPECT_EQ(log.back().caption, L"Select Profile File");
  d.click(1329);
  d.press(gui::ID_PSNEXT);
  EXPECT_TRUE(conv->from_xls);
  EXPECT_EQ(d.page_id(), 118);
}

TEST_F(pages_test, EveryCheckOfTheFilePageKeepsThePage) {
  REQUIRE_DISPLAY();
  to_file_page(false);
  gui::control_set& c = d.page_controls();
  EXPECT_TRUE(c.visible(1005));
  EXPECT_FALSE(c.visible(1222));
  EXPECT_EQ(c.text(1333), L"&Comma separated values (CSV) file name:");
  d.press(gui::ID_PSNEXT);
  d.type(1003, (dir.path() / "missing.csv").wstring());
  EXPECT_EQ(c.text(1005), L"missing");  // suggested from the source
  d.type(1005, L"");
  d.press(gui::ID_PSNEXT);
  d.type(1004, L"shop");
  d.press(gui::ID_PSNEXT);
  d.type(1005, L"orders");
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 105);
  const std::vector<std::wstring> expected = {
      L"You should enter the source file name", L"You should enter MS SQL database name",
      L"You should specify MS SQL table name",
      L"Source file does not exist.\r\nPlease verify the correct file name was given."};
  EXPECT_EQ(messages(), expected);
}

TEST_F(pages_test, ACsvIntoAMissingDatabaseAsksBeforeCreatingIt) {
  REQUIRE_DISPLAY();
  to_file_page(false);
  const auto csv = write("orders.csv", "a;b\n1;2\n");
  d.type(1003, csv.wstring());
  d.type(1004, L"shop");
  conv->set_mode(0);
  d.answer_message(gui::IDNO);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 105);
  d.answer_message(gui::IDYES);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 107);
  EXPECT_EQ(messages(), std::vector<std::wstring>(2, L"Destination database doesn't exist. Create?"));
  EXPECT_EQ(conv->get_mode(), 1);  // nothing to drop
  EXPECT_EQ(conv->csv_table_name, L"orders");
  EXPECT_FALSE(server->has_database("shop"));  // created by the run, not here
}

TEST_F(pages_test, ACsvWhoseTableExistsIsMergedOrOverwrittenByTheRun) {
  REQUIRE_DISPLAY();
  server->execute("CREATE DATABASE [shop]");
  server->execute("CREATE TABLE [orders] ([a] int)", "shop");
  to_file_page(false);
  const auto csv = write("orders.csv", "a\n1\n");
  d.type(1003, csv.wstring());
  d.type(1004, L"shop");
  d.answer_dialog(gui::IDCANCEL);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 105);
  d.answer_dialog(1109);  // Merge
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 107);
  EXPECT_EQ(conv->get_mode(), 3);
  shell->select_page_by_id(105);
  d.answer_dialog(gui::IDOK);  // Overwrite
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 107);
  EXPECT_EQ(conv->get_mode(), 1);
  EXPECT_TRUE(server->has_table("shop", "orders"));  // the run replaces it
  int prompts = 0;  // the connecting dialog may show too, when its worker is slower
  for (const auto& r : d.log())
    if (r.kind == "dialog" && r.id == 120) ++prompts;
  EXPECT_EQ(prompts, 3);
}

TEST_F(pages_test, AWorkbookIntoAnExistingDatabaseChoosesTheMode) {
  REQUIRE_DISPLAY();
  server->execute("CREATE DATABASE [sample]");
  to_file_page(true);
  gui::control_set& c = d.page_controls();
  EXPECT_FALSE(c.visible(1005));
  EXPECT_TRUE(c.visible(1222));
  const auto book = dir.path() / "sample.xls";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", book);
  d.type(1003, book.wstring());
  EXPECT_EQ(c.text(1004), L"sample");
  d.answer_dialog(gui::IDCANCEL);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 105);
  for (int mode = 0; mode < 4; ++mode) {
    d.answer_dialog([mode](gui::dialog& dlg) { dlg.controls().user_click(1329 + mode); }, gui::IDOK);
    d.press(gui::ID_PSNEXT);
    EXPECT_EQ(d.page_id(), 127);
    EXPECT_EQ(conv->get_mode(), mode);
    d.press(gui::ID_PSBACK);
  }
  EXPECT_TRUE(server->has_database("sample"));  // mode 0 drops it when the run starts
  // A file that is no workbook.
  const auto bad = write("bad.xls", "no workbook");
  d.type(1003, bad.wstring());
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 105);
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages().back().rfind(L"Source file doesn't comply with MS Excel format", 0), 0u)
      << tk_to_utf8(messages().back());
}

// The names of the last run stay in their boxes until the source changes (Browse, or
// a source typed that differs from the saved one); a name typed after that stays.
TEST_F(pages_test, SavedNamesGiveWayToANewSourceOnly) {
  REQUIRE_DISPLAY();
  struct row {
    bool xls;
    int box;
    bool browse;
    const wchar_t* saved;
  };
  shell->open(nullptr);
  for (const row& r : {row{true, 1004, true, L"shop"}, row{false, 1005, true, L"orders"},
                       row{false, 1005, false, L"items"}}) {
    SCOPED_TRACE(r.box * 10 + r.browse);
    const std::wstring ext = r.xls ? L".xlsx" : L".csv";
    conv->set_src((dir.path() / ("last" + tk_to_utf8(ext))).wstring());
    conv->set_dest(r.xls ? r.saved : L"shop");
    conv->csv_table_name = r.saved;
    d.click(r.xls ? 1329 : 1330);
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    gui::control_set& c = d.page_controls();
    EXPECT_EQ(c.text(r.box), r.saved);
    d.focus(r.box);
    EXPECT_EQ(c.text(r.box), r.saved);
    const std::wstring fresh = (dir.path() / ("fresh" + tk_to_utf8(ext))).wstring();
    if (r.browse) {
      d.answer_file(fresh);
      d.click(1107);
    } else {
      d.type(1003, fresh);
    }
    EXPECT_EQ(c.text(r.box), L"fresh");
    d.type(r.box, L"mine");
    d.focus(r.box);
    d.type(1003, (dir.path() / ("other" + tk_to_utf8(ext))).wstring());
    EXPECT_EQ(c.text(r.box), L"mine");
    d.press(gui::ID_PSBACK);
    d.press(gui::ID_PSBACK);
    ASSERT_EQ(d.page_id(), 103);
  }
}

TEST_F(pages_test, HelpOnEveryPage) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  std::vector<int> topics;
  d.key_f1();
  d.press(gui::ID_PSNEXT);
  d.press(gui::IDHELP);
  shell->select_page_by_id(105);
  d.key_f1();
  for (const auto& r : d.log())
    if (r.kind == "help") topics.push_back(r.id);
  EXPECT_EQ(topics, (std::vector<int>{1012, 1010, 1015}));
}

// Every topic a page or prompt of the wizard opens is in its help book.
TEST(DunmereHelpBook, NamesEveryTopicThePagesOpen) {
  const std::string contents =
      test_dir::read(std::string(ORV_SOURCE_DIR) + "/apps/dunmere_wizard/help/dunmere_wizard.hhc");
  for (int topic : {1010, 1012, 1013, 1015, 1016, 1019})
    EXPECT_NE(contents.find("value=\"" + std::to_string(topic) + "\""), std::string::npos) << topic;
}

}  // namespace
