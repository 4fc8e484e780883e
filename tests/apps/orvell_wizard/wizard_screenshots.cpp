// Pictures of the real wizard, walked from the first page to the last:
//   wizard_screenshots FOLDER
// Walks the pages of a CSV file into a dump file, then converts the example workbook
// into a dump file in a temporary folder, saving a PNG of every page and message.
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_utils.h"
#include "apps/orvell_wizard/orv_shel.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "platform/gui/gui_help.h"
#include "platform/kernel/registry.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wizard_screenshots FOLDER\n");
    return 2;
  }
  if (!gui::start(argc, argv)) {
    std::fprintf(stderr, "No display could be opened: %s\n", gui::start_error().c_str());
    return 1;
  }
  const fs::path out = fs::absolute(argv[1]);
  fs::create_directories(out);
  const fs::path work = fs::temp_directory_path() / ("orv-walk-" + std::to_string(::getpid()));
  fs::create_directories(work);
  kernel::set_registry_file((work / "registry.reg").string());
  const fs::path csv = work / "people.csv";
  std::ofstream(csv) << "name;age;joined\nAnn;31;2004-05-06\nBob;45;2010-11-12\n";
  const fs::path dump = work / "people.sql";
  std::ofstream(dump) << "-- an earlier dump\n";
  const fs::path xls = fs::path(ORV_SOURCE_DIR) / "examples/sales.xlsx";
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
      d.choose(1302, 1);
      d.choose(1303, 1);
      shot(L"wizard-103-welcome");
      // Help beside the wizard, as F1 shows it.
      d.show_help(true);
      d.key_f1();
      d.settle(200);
      if (!d.screenshot(L"wizard-103-help", gui::help_window())) status = 1;
      gui::help_close();
      d.show_help(false);
      d.press(gui::ID_PSNEXT);
      shot(L"wizard-102-dump");
      d.press(gui::ID_PSNEXT);
      d.type(1003, csv.wstring());
      d.type(1004, dump.wstring());
      d.focus(1005);
      shot(L"wizard-105-file-csv");
      d.answer_message(gui::IDYES);  // replace the earlier dump
      d.press(gui::ID_PSNEXT);
      shot(L"wizard-107-delimiter");
      // The connection page, then the workbook's pages and its conversion.
      for (int i = 0; i < 3; ++i) d.press(gui::ID_PSBACK);
      d.choose(1302, 0);
      d.choose(1303, 0);
      d.press(gui::ID_PSNEXT);
      shot(L"wizard-123-connection");
      d.press(gui::ID_PSBACK);
      d.choose(1303, 1);
      d.press(gui::ID_PSNEXT);
      d.press(gui::ID_PSNEXT);
      d.type(1003, xls.wstring());
      d.type(1004, (work / "sales.sql").wstring());
      shot(L"wizard-105-file-workbook");
      d.press(gui::ID_PSNEXT);
      d.click(1101);
      shot(L"wizard-127-worksheets");
      d.answer_message(gui::IDOK);  // an error of the run, should one come
      d.press(gui::ID_PSNEXT);
      shot(L"wizard-108-progress");
      d.wait_for([&] { return d.page_id() == 116; }, 60000);
      shot(L"wizard-116-finish");
      if (!shell.ended()) shell.close();
    };
    gui::post_to_ui(walk);
    run_orvell_wizard("");
    for (const auto& r : d.unexpected())
      std::fprintf(stderr, "unanswered: %s %d %s\n", r.kind.c_str(), r.id, tk_to_utf8(r.text).c_str());
  }
  kernel::set_registry_file(std::nullopt);
  fs::remove_all(work);
  gui::help_close();
  gui::stop();
  return status;
}
