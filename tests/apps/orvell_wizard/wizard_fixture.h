// The whole wizard, started as the program starts it and worked through the test
// driver from inside its own modal loop; with a server of the test's own database.
#pragma once

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_utils.h"
#include "apps/orvell_wizard/orv_shel.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "platform/kernel/registry.h"
#include "tests/e2e/e2e_env.h"
#include "tests/platform/gui/gui_environment.h"
#include "tests/support/test_dir.h"
#include "tests/support/wizard_script.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class wizard_run : public ::testing::Test {
 protected:
  void SetUp() override { kernel::set_registry_file((dir.path() / "registry.reg").string()); }
  void TearDown() override { kernel::set_registry_file(std::nullopt); }

  // Starts the program's start-up with cmd_line; script works the wizard once its
  // first page shows, from inside the sheet's own modal loop.
  int run(const std::string& cmd_line, const std::function<void()>& script) {
    return run_wizard_script(d, [&] { return run_orvell_wizard(cmd_line); }, script);
  }

  // Next starts the run; waits for the finish page, which must list no errors, and
  // presses Finish.
  void convert_and_finish() {
    d.press(gui::ID_PSNEXT);
    ASSERT_TRUE(d.wait_for([&] { return d.page_id() == 116; }));
    EXPECT_FALSE(d.page_controls().visible(1016)) << tk_to_utf8(d.page_controls().text(1016));
    d.press(gui::ID_WIZFINISH);
  }

  // The texts of the message boxes shown, in order.
  std::vector<std::wstring> messages() const { return message_texts(d); }

  std::filesystem::path write(const std::string& name, const std::string& text) {
    std::filesystem::path p = dir.path() / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }

  // A profile of a conversion into a dump file, with more sections.
  std::filesystem::path dump_profile(const std::filesystem::path& src, const std::filesystem::path& dest, bool from_xls,
                                     const std::string& more = "") {
    return write("dump.orv", "[Generic settings]\nsrc=" + src.string() + "\ndest=" + dest.string() +
                                 "\nmode=1\n\n[MS Excel settings]\nconvert from xls=" + (from_xls ? "1" : "0") +
                                 "\n\n[MySQL settings]\ndirect mode=0\ndump create table=1\n\n" + more);
  }

  // A file of the source tree (tests/fixtures/..., examples/...) copied into the test's folder.
  std::filesystem::path copy_of(const std::string& source, const std::string& name) {
    const std::filesystem::path p = dir.path() / name;
    std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / source, p);
    return p;
  }

  test_dir dir;
  gui::driver d;
};

// A server of the test's own database name.
class wizard_server_run : public wizard_run {
 protected:
  void SetUp() override {
    ORV_REQUIRE_E2E_SERVER();
    wizard_run::SetUp();
    client = std::make_unique<check_client>();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    db = "orvw_" + std::to_string(::getpid()) + "_" + info->name();
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
  }
  void TearDown() override {
    if (client) client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    wizard_run::TearDown();
  }
  // A profile that names the server, the source and the database, and more sections.
  std::filesystem::path profile(const std::wstring& src, bool from_xls, const std::string& more = "") {
    const e2e_server& s = e2e_server::get();
    std::string text = "[Generic settings]\nsrc=" + tk_to_utf8(src) + "\ndest=" + db +
                       "\nmode=1\n\n[MS Excel settings]\nconvert from xls=" + (from_xls ? "1" : "0") +
                       "\n\n[MySQL settings]\ndirect mode=1\nhost=" + s.host + "\nport=" + std::to_string(s.port) +
                       "\nuser=" + s.user + "\npassword=" + s.password + "\n\n" + more;
    return write("run.orv", text);
  }
  void connect_page() {
    const e2e_server& s = e2e_server::get();
    ASSERT_EQ(d.page_id(), 123);
    d.click(1330);
    d.type(1014, tk_from_utf8(s.host));
    d.type(1015, std::to_wstring(s.port));
    d.type(1012, tk_from_utf8(s.user));
    d.type(1013, tk_from_utf8(s.password));
  }
  std::unique_ptr<check_client> client;
  std::string db;
};

