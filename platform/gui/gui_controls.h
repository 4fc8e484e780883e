// The controls of one dialog or page, built from its template and addressed by id.
#pragma once

#include "platform/gui/gui_template.h"
#include "platform/gui/gui_types.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class wxRadioButton;

namespace gui {

class control_set {
 public:
  // Called with (control id, notification code) for every user action on a control.
  using command_fn = std::function<void(int id, int code)>;

  control_set() = default;
  control_set(const control_set&) = delete;
  control_set& operator=(const control_set&) = delete;

  // Makes the template's controls on parent (a window of the template's size).
  void build(wxWindow* parent, const dialog_template& t, command_fn on_command);
  // Forgets the controls (their window is being destroyed).
  void clear();
  bool built() const { return parent_ != nullptr; }
  const dialog_template* templ() const { return templ_; }

  bool has(int id) const;
  wxWindow* window(int id) const;  // nullptr when there is no such control
  ctrl_kind kind(int id) const;

  // Any control: text (label or contents), visibility, state, focus.
  void set_text(int id, std::wstring_view text);
  std::wstring text(int id) const;
  void show(int id, bool show);
  bool visible(int id) const;
  void enable(int id, bool enable);
  bool enabled(int id) const;
  // Gives the control the keyboard focus; an edit is told at once (EN_SETFOCUS).
  void focus(int id);
  // The first control a user can tab to; 0 when none.
  int first_tab_stop() const;

  // Check boxes and radio buttons.
  void set_checked(int id, bool checked);
  bool checked(int id) const;

  // Combo boxes (drop-down lists).
  void combo_reset(int id);
  int combo_add(int id, std::wstring_view text);
  void combo_select(int id, int index);
  int combo_selection(int id) const;  // -1: none
  int combo_count(int id) const;

  // List boxes, kept sorted without regard to case; indexes follow the sorted order.
  void list_reset(int id);
  int list_add(int id, std::wstring_view text);  // returns the index it took
  void list_delete(int id, int index);
  int list_count(int id) const;
  std::wstring list_text(int id, int index) const;
  int list_selection(int id) const;  // -1: none
  void list_select(int id, int index);
  int list_find_exact(int id, std::wstring_view text) const;  // case-insensitive; -1: absent
  void list_set_extent(int id, int pixels);
  int list_extent(int id) const;

  // Edits.
  void append_text(int id, std::wstring_view text);  // at the end, scrolled into view
  void set_readonly(int id, bool readonly);
  bool readonly(int id) const;
  void clear_selection(int id);

  // Progress bar (0 to 100).
  void set_progress(int id, int position);
  int progress(int id) const;

  // Pictures: the artwork of a resource id (icons 501-509, bitmaps 311-312).
  void set_image(int id, int resource_id);

  // Static text in the wizard's title font (bold, 10 points).
  void set_title_font(int id);
  // Width in pixels of text drawn in the control's font.
  int text_width(int id, std::wstring_view text) const;

  // What a user does, through the same event handlers a real click goes through.
  void user_click(int id);
  void user_type(int id, std::wstring_view text);
  void user_choose(int id, int index);  // combo or list selection
  void user_double_click(int id, int index);
  void user_focus(int id);

 private:
  struct entry {
    const control_template* t;
    wxWindow* w;
    bool state = false;  // check state of plain check boxes and radio buttons
    int extent = 0;
    int group = -1;  // radio buttons: their group
  };
  entry& at(int id);
  const entry& at(int id) const;
  void dispatch(int id, int code) const;
  void bind(entry& e);
  void restore_group(int group);

  wxWindow* parent_ = nullptr;
  const dialog_template* templ_ = nullptr;
  command_fn on_command_;
  std::map<int, entry> controls_;
  int focused_ = 0;  // the edit last told of the focus
  std::shared_ptr<int> life_;  // the handlers bound to the windows act while it lives
  std::vector<wxRadioButton*> groups_;  // per radio group: its hidden "none checked" member
};

// Case-insensitive order of list boxes.
int compare_no_case(std::wstring_view a, std::wstring_view b);

}  // namespace gui
