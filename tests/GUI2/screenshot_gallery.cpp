// Pictures of every page and dialog of the wizard, for reviewing its look:
//   screenshot_gallery FOLDER
// Shows the sheet with each page filled with sample content, then each dialog and
// the three kinds of message box, and saves a PNG of each into FOLDER.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "GUI2/g_err_dlg.h"
#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/over_dlg.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"

namespace {

// A page with sample content.
struct sample_page : wizard_page {
  sample_page(int id, const wchar_t* title, const wchar_t* subtitle,
              std::function<void(gui::control_set&)> fill, gui::resource_set set = gui::resource_set::orvell)
      : wizard_page(id, title, subtitle, set), fill(std::move(fill)) {
    has_help = true;
  }
  bool page_init() override {
    if (fill) fill(ctrls());
    return true;
  }
  std::function<void(gui::control_set&)> fill;
};

// A dialog of a template with a text in 1320.
struct sample_dialog : gui::dialog {
  sample_dialog(int id, std::wstring caption, std::wstring text)
      : dialog(id), caption_(caption), text_(text) {}
  void on_init() override {
    set_caption(caption_);
    if (controls().has(1320)) controls().set_text(1320, text_);
    if (controls().has(1329)) controls().set_checked(1329, true);
    if (controls().has(1019)) controls().set_text(1019, L"Totals");
    if (controls().has(1020))
      controls().set_text(1020, L"SELECT Region, SUM(Amount) FROM [Sales$] GROUP BY Region");
  }
  std::wstring caption_, text_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshot_gallery FOLDER\n");
    return 2;
  }
  if (!gui::start(argc, argv)) {
    std::fprintf(stderr, "No display could be opened: %s\n", gui::start_error().c_str());
    return 1;
  }
  std::filesystem::create_directories(argv[1]);
  int status = 0;
  {
    gui::driver d;
    d.set_screenshot_folder(std::filesystem::absolute(argv[1]).wstring());
    {
      wizard_shell shell(L"Orvell 2.1", 501, 311, 312);
      std::vector<std::unique_ptr<wizard_page>> pages;
      auto add = [&](wizard_page* p) {
        pages.emplace_back(p);
        shell.add_page(p);
      };
      auto* welcome = new sample_page(103, nullptr, nullptr, [](gui::control_set& c) {
        c.set_title_font(1337);
        c.combo_reset(1302);
        c.combo_add(1302, L"MS Excel spreadsheet");
        c.combo_add(1302, L"CSV file");
        c.combo_select(1302, 0);
        c.combo_reset(1303);
        c.combo_add(1303, L"MySQL server");
        c.combo_add(1303, L"Local dump file");
        c.combo_select(1303, 1);
      });
      welcome->hide_header = true;
      add(welcome);
      add(new sample_page(102, L"Step 1 of 4", L"MySQL dump file settings", [](gui::control_set& c) {
        c.set_checked(1329, true);
        c.set_checked(1332, true);
        for (int id : {1202, 1203, 1204, 1205}) c.set_checked(id, true);
      }));
      add(new sample_page(123, L"Step 1 of 4", L"Connect to MySQL server", [](gui::control_set& c) {
        c.set_checked(1330, true);
        c.set_text(1012, L"importer");
        c.set_text(1013, L"secret");
        c.set_text(1014, L"db.example.org");
        c.set_text(1015, L"3306");
      }));
      add(new sample_page(
          105, L"Step 2 of 4", L"Select data source and destination", [](gui::control_set& c) {
            c.set_text(
                1307,
                L"Select MS Excel spreadsheet to convert and MySQL destination database.\nClick 'Browse' to "
                L"find data source through directory tree.");
            c.set_text(1003, L"/home/ann/reports/Sales 2024.xlsx");
            c.set_text(1004, L"/home/ann/reports/Sales 2024.sql");
            c.set_text(1311, L"&Dump file path:");
            c.show(1310, false);
            c.show(1005, false);
            c.set_checked(1222, true);
            c.set_checked(1203, true);
          }));
      add(new sample_page(127, L"Step 3 of 4", L"Select worksheets to convert", [](gui::control_set& c) {
        c.set_text(1337, L"Select MS Excel worksheets to convert into MySQL tables.");
        c.list_reset(1317);
        c.list_reset(1318);
        for (const wchar_t* s : {L"Regions", L"Returns", L"Notes"}) c.list_add(1317, s);
        for (const wchar_t* s : {L"Sales", L"Customers"}) c.list_add(1318, s);
        c.list_select(1317, 0);
        c.show(1114, false);
      }));
      add(new sample_page(107, L"Step 3 of 4", L"CSV formatting settings", [](gui::control_set& c) {
        c.set_checked(1331, true);
        c.set_checked(1222, true);
      }));
      add(new sample_page(108, L"Step 4 of 4", L"Database conversion is in progress",
                          [](gui::control_set& c) {
                            c.show(1325, false);
                            c.set_text(1323, L"Processing worksheet 'Sales' (row 1200 of 5000)");
                            c.set_progress(1321, 40);
                          }));
      add(new gui_finish_page(
          L"Wizard has converted your MS Excel data\ninto MySQL format successfully.\n\nClick "
          L"'Finish' to exit the wizard.",
          L"There were some errors while converting MS Excel data.\nClick 'Finish' to exit the "
          L"wizard."));
      shell.errors() = {"Sales, record #3: Duplicate field values being used for an unique index were found.",
                        "Notes: Failed to recognize table structure in the worksheet."};
      d.attach(shell);
      shell.open(nullptr);
      for (auto& p : pages) {
        shell.select_page_by_id(p->dialog_id());
        d.settle(100);
        if (!d.screenshot(L"page-" + std::to_wstring(p->dialog_id()))) status = 1;
      }
      // Dialogs and message boxes over the wizard.
      shell.select_page_by_id(105);
      d.settle(50);
      const std::wstring title = shell.title();
      struct shown {
        int id;
        std::wstring caption, text;
      } dialogs[] = {
          {120, title + L" Warning",
           L"Table with the same name already exists. Click 'Help' button\nfor more information."},
          {121, title + L" Warning",
           L"The destination database already exists. Select one of the\noptions below. Click 'Help' button "
           L"for more information."},
          {115, title + L" Error",
           L"Sales, record #3: Access denied. Verify the user name and password are correct, and you have "
           L"the necessary privileges to connect to the target MySQL server."},
          {114, title + L" Error", L"Internal error: \ncode=7564625f64625c3132"},
          {128, L"Add Query", L""},
      };
      for (const shown& s : dialogs) {
        d.answer_dialog(s.id == 114 ? gui::IDOK : gui::IDCANCEL);  // 114 has no Cancel
        sample_dialog dlg(s.id, s.caption, s.text);
        dlg.run_modal(shell.window());
      }
      d.answer_message(gui::IDOK);
      wizard_shell::error(
          std::wstring(L"Source file does not exist.\r\nPlease verify the correct file name was given."));
      d.answer_message(gui::IDOK);
      wizard_shell::message(L"You should enter the source file name");
      d.answer_message(gui::IDNO);
      wizard_shell::question(L"Are you sure you want to exit the wizard?", gui::MB_DEFBUTTON2);
      shell.close();
    }
    {
      // The SQL Server wizard's own pages and its connecting dialog.
      wizard_shell shell(L"Dunmere 2.1", 501, 311, 312);
      const auto set = gui::resource_set::dunmere;
      sample_page welcome(
          103, nullptr, nullptr,
          [](gui::control_set& c) {
            c.set_title_font(1337);
            c.set_checked(1329, true);
          },
          set);
      welcome.hide_header = true;
      sample_page connect(
          118, L"Step 1 of 4", L"Connect to MSSQL server",
          [](gui::control_set& c) {
            c.set_checked(1330, true);
            c.set_text(1014, L"sqlhost\\SQLEXPRESS");
            c.set_text(1012, L"sa");
            c.set_text(1013, L"secret");
          },
          set);
      sample_page file(
          105, L"Step 2 of 4", L"Select data source and destination",
          [](gui::control_set& c) {
            c.set_text(
                1307,
                L"Select CSV file to convert, MS SQL destination database and table name.\nClick 'Browse' "
                L"to find data source through directory tree.");
            c.set_text(1333, L"&Comma separated values (CSV) file name:");
            c.set_text(1003, L"/home/ann/export/orders.csv");
            c.set_text(1004, L"Shop");
            c.set_text(1005, L"orders");
            c.show(1222, false);
            c.show(1203, false);
          },
          set);
      for (sample_page* p : {&welcome, &connect, &file}) shell.add_page(p);
      d.attach(shell);
      shell.open(nullptr);
      for (int id : {103, 118, 105}) {
        shell.select_page_by_id(id);
        d.settle(100);
        if (!d.screenshot(L"dunmere-page-" + std::to_wstring(id))) status = 1;
      }
      struct connecting : gui::dialog {
        connecting() : dialog(101, gui::resource_set::dunmere) {}
        void on_init() override { controls().set_image(1301, 505); }
      } dlg;
      d.answer_dialog([](gui::dialog& x) { x.end(0); }, 0);
      dlg.run_modal(shell.window());
      shell.close();
    }
    for (const auto& r : d.unexpected()) std::fprintf(stderr, "unanswered: %s %d\n", r.kind.c_str(), r.id);
  }
  gui::stop();
  return status;
}
