// The wizard's own help book in the help viewer: every topic the pages open leads to
// a page of it, shown formatted, in a window that a modal dialog does not lock out
// and that does not lock the dialog out either.
#include "TK/tk_utils.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_dialog.h"
#include "platform/gui/gui_help.h"
#include "platform/gui/gui_input.h"
#include "tests/platform/gui/gui_environment.h"

#include <wx/window.h>

namespace {

std::wstring the_book() { return tk_from_utf8(tk_get_module_folder()) + L"orvell_wizard.htb"; }

TEST(HelpBook, EveryTopicOfTheWizardHasItsPage) {
  REQUIRE_DISPLAY();
  const std::wstring book = the_book();
  const struct {
    int topic;
    const wchar_t* page;
  } topics[] = {
      {1010, L"connect.htm"}, {1012, L"welcome.htm"}, {1013, L"csv.htm"},      {1015, L"file.htm"},
      {1016, L"sheets.htm"},  {1017, L"errors.htm"},  {1019, L"overwrite.htm"}, {1020, L"dump.htm"},
  };
  for (const auto& t : topics) {
    std::wstring page = gui::help_page(book, t.topic);
    EXPECT_NE(page.find(t.page), std::wstring::npos) << t.topic << " opens '" << std::string(page.begin(), page.end()) << "'";
  }
  EXPECT_TRUE(gui::help_display(book, -1));
  EXPECT_EQ(gui::help_shown().title, L"Orvell Database Conversion Wizard");
  EXPECT_TRUE(gui::help_display(book, 1019));
  const gui::help_view shown = gui::help_shown();
  EXPECT_TRUE(shown.open);
  EXPECT_EQ(shown.title, L"When the destination already exists");
  EXPECT_NE(shown.location.find(L"overwrite.htm"), std::wstring::npos);
  EXPECT_EQ(shown.text.find(L"<p>"), std::wstring::npos) << tk_to_utf8(shown.text);  // drawn, not its markup
  EXPECT_NE(shown.text.find(L"Overwrite the entire database"), std::wstring::npos) << tk_to_utf8(shown.text);
  EXPECT_FALSE(gui::help_display(L"/nonexistent/book.htb", 1019));
  gui::help_close();
  EXPECT_FALSE(gui::help_shown().open);
}

// A prompt in the middle of the screen, clear of the viewer's corner.
struct centred_prompt : gui::dialog {
  centred_prompt() : dialog(121) {}
  void on_init() override { centre(); }
};

// A modal dialog (an overwrite prompt's Help keeps it open) and the viewer are used
// side by side with the pointer.
TEST(HelpBook, AModalDialogAndTheViewerTakeTheirOwnClicks) {
  REQUIRE_DISPLAY();
  centred_prompt prompt;
  gui::help_view first, second;
  bool dialog_clicked = false;
  gui::post_to_ui([&] {
    // A viewer that took the program's input would hold this call until it is closed.
    gui::post_to_ui([] {
      if (!gui::help_shown().takes_input) return;
      ADD_FAILURE() << "the help viewer holds the program's input";
      gui::help_window()->Close();
    });
    gui::help_display(the_book(), 1012);
    gui::pump(100);
    first = gui::help_shown();
    gui::hwnd list = nullptr;
    int x = 0, y = 0;
    if (gui::help_contents_entry(L"CSV formatting", list, x, y) && gui::input_click(list, x, y)) {
      gui::pump_until([] { return gui::help_shown().title == L"CSV formatting"; }, 3000);
      second = gui::help_shown();
    }
    dialog_clicked = gui::input_click(prompt.controls().window(gui::IDCANCEL));
    gui::pump_until([&] { return prompt.ended(); }, 3000);
    if (!prompt.ended()) prompt.end(gui::IDOK);  // the click did not reach it
  });
  EXPECT_EQ(prompt.run_modal(nullptr), gui::IDCANCEL);
  gui::help_close();
  EXPECT_TRUE(dialog_clicked);
  EXPECT_TRUE(first.open);
  EXPECT_FALSE(first.takes_input);
  EXPECT_EQ(first.title, L"Choosing the source and the destination");
  EXPECT_EQ(second.title, L"CSV formatting");
}

}  // namespace
