// Templates as data and the controls made from them.
#include "platform/gui/gui_controls.h"
#include "platform/gui/gui_template.h"
#include "platform/gui/gui_types.h"
#include "tests/platform/gui/gui_environment.h"

#include <wx/dialog.h>

#include <memory>
#include <set>

namespace {

using gui::ctrl_kind;

TEST(GuiTemplates, EveryTemplateHasUniqueIdsInsideItsBounds) {
  for (auto set : {gui::resource_set::orvell, gui::resource_set::dunmere}) {
    for (int id : gui::template_ids(set)) {
      const gui::dialog_template* t = gui::find_template(id, set);
      ASSERT_NE(t, nullptr) << id;
      std::set<int> seen;
      for (const auto& c : t->controls) {
        if (c.id != gui::IDC_STATIC) {
          EXPECT_TRUE(seen.insert(c.id).second) << id << ":" << c.id;
        }
        EXPECT_LE(c.x + c.cx, t->cx) << id << ":" << c.id;
        EXPECT_LE(c.y + c.cy, t->cy + 40) << id << ":" << c.id;  // drop-down lists reach below
      }
    }
  }
  EXPECT_EQ(gui::find_template(104), nullptr);
}

const gui::control_template* control(int dlg, int id, gui::resource_set set = gui::resource_set::orvell) {
  for (const auto& c : gui::find_template(dlg, set)->controls)
    if (c.id == id) return &c;
  return nullptr;
}

TEST(GuiTemplates, ControlsTheWizardAddressesHaveTheirKindsAndTexts) {
  struct expect {
    int dlg, id;
    ctrl_kind kind;
    const wchar_t* text;
  } cases[] = {
      {115, 1222, ctrl_kind::check_plain, L"&Do not show this dialog box again"},
      {115, gui::IDCANCEL, ctrl_kind::default_button, L"Continue"},
      {115, gui::IDOK, ctrl_kind::button, L"Abort"},
      {114, 1112, ctrl_kind::default_button, L"Send bug"},
      {114, 1108, ctrl_kind::button, L"Copy to clipboard"},
      {120, gui::IDCANCEL, ctrl_kind::default_button, L"Cancel"},
      {120, 1109, ctrl_kind::button, L"&Merge"},
      {121, 1329, ctrl_kind::radio_auto, L"&Overwrite the entire database"},
      {121, 1332, ctrl_kind::radio_auto, L"&Merge"},
      {102, 1329, ctrl_kind::radio_plain, L"n&ew (4.1 or higher)"},
      {102, 1204, ctrl_kind::check_plain, L"Insert 'CREATE &TABLE' statements"},
      {103, 1115, ctrl_kind::button, L"&Load Settings"},
      {103, 1302, ctrl_kind::combo_list, L""},
      {105, 1222, ctrl_kind::check_plain, L"E&xtract field names from the first row"},
      {107, 1331, ctrl_kind::radio_auto, L"Comma"},
      {108, 1321, ctrl_kind::progress, L""},
      {116, 1016, ctrl_kind::edit_multiline, L""},
      {123, 1013, ctrl_kind::edit_password, L""},
      {127, 1317, ctrl_kind::list_sorted, L""},
      {127, 1110, ctrl_kind::button, L"< Re&move all"},
      {128, 129, ctrl_kind::button, L"Test Query"},
  };
  for (const auto& c : cases) {
    const gui::control_template* t = control(c.dlg, c.id);
    ASSERT_NE(t, nullptr) << c.dlg << ":" << c.id;
    EXPECT_EQ(t->kind, c.kind) << c.dlg << ":" << c.id;
    EXPECT_EQ(t->text, c.text) << c.dlg << ":" << c.id;
  }
  // The SQL Server wizard's own pages.
  EXPECT_EQ(control(103, 1329, gui::resource_set::dunmere)->text, L"MS &Excel spreadsheet");
  EXPECT_EQ(control(105, 1104, gui::resource_set::dunmere), nullptr);
  EXPECT_EQ(control(118, 1202, gui::resource_set::dunmere)->text, L"&Connect as database owner");
  EXPECT_EQ(control(101, 1301, gui::resource_set::dunmere)->kind, ctrl_kind::icon);
  EXPECT_EQ(control(108, 1325, gui::resource_set::dunmere)->text, L"converting your CSV file into MS SQL database.");
}

// A window holding the controls of a template.
struct built {
  explicit built(int id, gui::resource_set set = gui::resource_set::orvell)
      : window(new wxDialog(nullptr, wxID_ANY, "test")) {
    controls.build(window, *gui::find_template(id, set),
                   [this](int cid, int code) { commands.emplace_back(cid, code); });
  }
  ~built() {
    controls.clear();
    window->Destroy();
  }
  wxDialog* window;
  gui::control_set controls;
  std::vector<std::pair<int, int>> commands;
};

TEST(GuiControls, PlainCheckBoxesChangeOnlyThroughTheProgram) {
  REQUIRE_DISPLAY();
  built b(115);
  auto& c = b.controls;
  EXPECT_FALSE(c.checked(1222));
  c.user_click(1222);
  EXPECT_FALSE(c.checked(1222));  // the click is reported, the state kept
  ASSERT_EQ(b.commands.size(), 1u);
  EXPECT_EQ(b.commands[0], std::make_pair(1222, gui::BN_CLICKED));
  c.set_checked(1222, true);
  c.user_click(1222);
  EXPECT_TRUE(c.checked(1222));

  built dump(102);  // plain radio buttons
  dump.controls.set_checked(1329, true);
  dump.controls.user_click(1330);
  EXPECT_TRUE(dump.controls.checked(1329));
  EXPECT_FALSE(dump.controls.checked(1330));
  dump.controls.set_checked(1329, false);
  dump.controls.set_checked(1330, true);
  EXPECT_FALSE(dump.controls.checked(1329));
}

TEST(GuiControls, AutomaticRadioButtonsClearTheirGroup) {
  REQUIRE_DISPLAY();
  built b(121);
  auto& c = b.controls;
  c.set_checked(1329, true);
  c.user_click(1331);
  EXPECT_TRUE(c.checked(1331));
  EXPECT_FALSE(c.checked(1329));
  EXPECT_EQ(b.commands.back(), std::make_pair(1331, gui::BN_CLICKED));
}

TEST(GuiControls, SortedListsIgnoreCaseAndFindExactNames) {
  REQUIRE_DISPLAY();
  built b(127);
  auto& c = b.controls;
  for (const wchar_t* s : {L"beta", L"Gamma", L"alpha", L"Sheet10", L"sheet2", L"Alpha"}) c.list_add(1317, s);
  std::vector<std::wstring> order;
  for (int i = 0; i < c.list_count(1317); ++i) order.push_back(c.list_text(1317, i));
  EXPECT_EQ(order, (std::vector<std::wstring>{L"alpha", L"Alpha", L"beta", L"Gamma", L"Sheet10", L"sheet2"}));
  EXPECT_EQ(c.list_find_exact(1317, L"GAMMA"), 3);
  EXPECT_EQ(c.list_find_exact(1317, L"delta"), -1);
  c.list_select(1317, 2);
  EXPECT_EQ(c.list_selection(1317), 2);
  c.list_delete(1317, 2);
  EXPECT_EQ(c.list_count(1317), 5);
  c.user_double_click(1317, 0);
  EXPECT_EQ(b.commands.back(), std::make_pair(1317, gui::LBN_DBLCLK));
  EXPECT_THROW(c.list_text(1317, 9), std::out_of_range);
  EXPECT_THROW(c.text(4242), std::invalid_argument);
}

TEST(GuiControls, EditsCombosProgressAndVisibility) {
  REQUIRE_DISPLAY();
  built b(105);
  auto& c = b.controls;
  c.set_text(1003, L"C:\\data\\Book1.xls");
  EXPECT_EQ(c.text(1003), L"C:\\data\\Book1.xls");
  EXPECT_TRUE(b.commands.empty());  // the program's own change is not a user's
  c.user_type(1004, L"book1");
  EXPECT_EQ(b.commands.back(), std::make_pair(1004, gui::EN_CHANGE));
  c.user_focus(1005);
  EXPECT_EQ(b.commands.back(), std::make_pair(1005, gui::EN_SETFOCUS));
  c.show(1104, false);
  EXPECT_FALSE(c.visible(1104));
  c.enable(1107, false);
  EXPECT_FALSE(c.enabled(1107));
  c.user_click(1107);  // a disabled button cannot be pressed
  EXPECT_NE(b.commands.back().first, 1107);

  built w(103);
  w.controls.combo_add(1302, L"MS Excel spreadsheet");
  w.controls.combo_add(1302, L"CSV file");
  w.controls.user_choose(1302, 1);
  EXPECT_EQ(w.controls.combo_selection(1302), 1);
  EXPECT_EQ(w.commands.back(), std::make_pair(1302, gui::CBN_SELCHANGE));
  w.controls.combo_reset(1302);
  EXPECT_EQ(w.controls.combo_count(1302), 0);

  built p(108);
  p.controls.set_progress(1321, 140);
  EXPECT_EQ(p.controls.progress(1321), 100);

  built f(116);
  f.controls.append_text(1016, L"first\r\n\r\n");
  f.controls.append_text(1016, L"second");
  EXPECT_NE(f.controls.text(1016).find(L"second"), std::wstring::npos);
  f.controls.set_readonly(1016, true);
  EXPECT_TRUE(f.controls.readonly(1016));
}

}  // namespace
