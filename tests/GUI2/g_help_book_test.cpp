// The wizard's own help book: every topic the pages open leads to a page of it.
#include "TK/tk_utils.h"
#include "platform/gui/gui_help.h"
#include "tests/platform/gui/gui_environment.h"

namespace {

TEST(HelpBook, EveryTopicOfTheWizardHasItsPage) {
  REQUIRE_DISPLAY();
  const std::wstring book = tk_from_utf8(tk_get_module_folder()) + L"orvell_wizard.htb";
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
  EXPECT_TRUE(gui::help_display(book, 1019));
  gui::help_close();
}

}  // namespace
