// Dialog and page templates as data: every dialog and wizard page of the programs is a
// table of controls with their numeric ids, kinds, texts and places (in dialog units),
// so the wizard's code addresses each control by the id it was written against.
#pragma once

#include <span>
#include <string_view>

namespace gui {

enum class ctrl_kind {
  static_text,     // plain text (left aligned, wraps at its width)
  title_text,      // static text that the page gives its title font
  group_box,       // frame with a caption around other controls
  button,          // push button
  default_button,  // push button that Enter presses
  check_plain,     // check box that only the program toggles
  check_auto,      // check box that toggles itself when clicked
  radio_plain,     // radio button that only the program checks
  radio_auto,      // radio button that checks itself and clears its group
  edit,            // single-line edit
  edit_password,   // single-line edit showing bullets
  edit_multiline,  // multi-line edit with a vertical scroll bar
  combo_list,      // drop-down list (no typing)
  list_sorted,     // list box kept sorted without regard to case
  progress,        // progress bar, range 0 to 100
  icon,            // picture; its text names the artwork ("error", "warning", "animation")
};

// Style bits of a control.
inline constexpr unsigned CS_GROUP = 0x1;     // first radio button of a group
inline constexpr unsigned CS_HIDDEN = 0x2;    // starts hidden
inline constexpr unsigned CS_DISABLED = 0x4;  // starts disabled
inline constexpr unsigned CS_READONLY = 0x8;  // edit that cannot be typed into
inline constexpr unsigned CS_HSCROLL = 0x10;  // list box with a horizontal scroll bar

struct control_template {
  int id;
  ctrl_kind kind;
  std::wstring_view text;
  short x, y, cx, cy;  // dialog units
  unsigned style = 0;
};

struct dialog_template {
  int id;
  std::wstring_view caption;  // dialogs only; pages take their title from the sheet
  short cx, cy;               // dialog units
  std::span<const control_template> controls;
};

// Which program's resources: the two wizards share most templates; dunmere's welcome
// and file pages differ and it has its own connection page and connecting dialog.
enum class resource_set { orvell, dunmere };

// The template with that id, from the program's set; nullptr when there is none.
const dialog_template* find_template(int id, resource_set set = resource_set::orvell);

// Every template id of a set, for tests and screenshots.
std::span<const int> template_ids(resource_set set);

}  // namespace gui
