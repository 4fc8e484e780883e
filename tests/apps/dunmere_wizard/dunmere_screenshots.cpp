// Pictures of the real dunmere_wizard, walked from the first page to the last against
// an in-memory TDS test server:
//   dunmere_screenshots FOLDER
// A refused host, the connecting dialog, the file page for a CSV file and for the
// example workbook (after a file that is no workbook) with the prompts about an
// existing destination, then the workbook's conversion; every page, dialog and
// message is saved as a PNG whose name contains "dunmere".
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_wizard/dun_shel.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "platform/gui/gui_help.h"
#include "platform/kernel/registry.h"
#include "tests/support/tds_server/tds_server.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dunmere_screenshots FOLDER\n");
    return 2;
  }
  if (!gui::start(argc, argv)) {
    std::fprintf(stderr, "No display could be opened: %s\n", gui::start_error().c_str());
    return 1;
  }
  const fs::path out = fs::absolute(argv[1]);
  fs::create_directories(out);
  const fs::path work = fs::temp_directory_path() / ("dun-walk-" + std::to_string(::getpid()));
  fs::create_directories(work);
  kernel::set_registry_file((work / "registry.reg").string());
  const fs::path csv = work / "people.csv";
  std::ofstream(csv) << "name;age;joined\nAnn;31;2004-05-06\nBob;45;2010-11-12\n";
  const fs::path xls = fs::path(ORV_SOURCE_DIR) / "examples/sales.xlsx";
  std::ofstream(work / "notes.xlsx") << "no workbook\n";
  tds::server server;
  server.execute("CREATE DATABASE [sales]");
  server.execute("CREATE DATABASE [crm]");
  server.execute("CREATE TABLE [people] ([name] nvarchar(20))", "crm");
  const std::wstring host = L"127.0.0.1," + std::to_wstring(server.port());
  int status = 0;
  {
    gui::driver d;
    d.set_screenshot_folder(out.wstring());
    auto shot = [&](const std::wstring& name) {
      d.settle(100);
      if (!d.screenshot(name)) status = 1;
    };
    std::function<void()> walk = [&] {
      if (!wizard_shell::is_initialized()) {
        gui::post_to_ui(walk);
        return;
      }
      wizard_shell& shell = wizard_shell::instance();
      d.attach(shell);
      d.click(1330);
      shot(L"dunmere-103-welcome");
      d.show_help(true);
      d.key_f1();
      d.settle(200);
      if (!d.screenshot(L"dunmere-103-help", gui::help_window())) status = 1;
      gui::help_close();
      d.show_help(false);
      d.press(gui::ID_PSNEXT);
      shot(L"dunmere-118-connection-windows");
      d.click(1330);
      d.type(1014, L"127.0.0.1,1");
      d.type(1012, L"sa");
      d.type(1013, tk_from_utf8(server.password()));
      d.click(1202);
      shot(L"dunmere-118-connection");
      d.answer_message(gui::IDOK);  // the refused host
      d.press(gui::ID_PSNEXT);
      // The connecting dialog, pictured while a slow server answers.
      d.type(1014, host);
      server.set_slow_answer(1500);
      d.answer_dialog([](gui::dialog& dlg) { gui::pump_until([&] { return dlg.ended(); }, 30000); }, 0);
      d.press(gui::ID_PSNEXT);
      server.set_slow_answer(0);
      d.type(1003, csv.wstring());
      d.type(1004, L"shop");
      shot(L"dunmere-105-file-csv");
      d.answer_message(gui::IDYES);  // "Destination database doesn't exist. Create?"
      d.press(gui::ID_PSNEXT);
      shot(L"dunmere-107-delimiter");
      d.press(gui::ID_PSBACK);
      d.type(1004, L"crm");
      d.answer_dialog(gui::IDCANCEL);  // the table exists
      d.press(gui::ID_PSNEXT);
      // The workbook into an existing database.
      d.press(gui::ID_PSBACK);
      d.press(gui::ID_PSBACK);
      d.click(1329);
      d.press(gui::ID_PSNEXT);
      d.press(gui::ID_PSNEXT);
      // A file that is no workbook, then the workbook chosen with Browse.
      d.type(1003, (work / "notes.xlsx").wstring());
      d.answer_message(gui::IDOK);
      d.press(gui::ID_PSNEXT);
      d.answer_file(xls.wstring());
      d.click(1107);
      shot(L"dunmere-105-file-workbook");
      d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1330); }, gui::IDOK);  // tables only
      d.press(gui::ID_PSNEXT);
      d.click(1101);
      shot(L"dunmere-127-worksheets");
      d.click(1102);
      d.answer_message(gui::IDOK);  // an error of the run, should one come
      server.set_slow_answer(200);
      d.press(gui::ID_PSNEXT);
      shot(L"dunmere-108-progress");
      server.set_slow_answer(0);
      d.wait_for([&] { return d.page_id() == 116; }, 60000);
      shot(L"dunmere-116-finish");
      if (!shell.ended()) shell.close();
    };
    gui::post_to_ui(walk);
    run_dunmere_wizard("");
    for (const auto& r : d.unexpected())
      std::fprintf(stderr, "unanswered: %s %d %s\n", r.kind.c_str(), r.id, tk_to_utf8(r.text).c_str());
  }
  // The driver names dialogs and messages by their kind: they get the program's name too.
  for (const auto& e : fs::directory_iterator(out)) {
    const std::string name = e.path().filename().string();
    if (name.find("dunmere") == std::string::npos && name.size() > 3)
      fs::rename(e.path(), out / (name.substr(0, 3) + "dunmere-" + name.substr(3)));
  }
  kernel::set_registry_file(std::nullopt);
  fs::remove_all(work);
  gui::help_close();
  gui::stop();
  return status;
}
