// The wizard sheet: a modal window with a header (title, subtitle, header bitmap), a
// watermark beside pages that hide the header, the pages themselves, and the button
// row Back, Next, Finish, Cancel, Help. Pages are told what happens through
// notifications (PSN_*) whose results steer the sheet:
//   set-active      0 shows the page, -1 skips it in the direction of travel
//   kill-active     non-zero keeps the current page
//   wizard-next/back 0 moves to the neighbour, -1 stays, a dialog id jumps to that page
//   wizard-finish   non-zero keeps the sheet open
//   query-cancel    non-zero keeps the sheet open (Cancel, Esc and the close box)
//   help            Help button and F1
#pragma once

#include "platform/gui/gui_controls.h"
#include "platform/gui/gui_types.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class wxPanel;
class wxTimer;

namespace gui {

class sheet;
class sheet_window;

// One page of the sheet, made from its template when the sheet first shows it.
class page {
 public:
  explicit page(int dialog_id, resource_set set = resource_set::orvell);
  virtual ~page();
  page(const page&) = delete;
  page& operator=(const page&) = delete;

  int dialog_id() const { return dialog_id_; }
  resource_set resources() const { return set_; }

  // Header texts and page flags; set before the sheet runs.
  std::wstring header_title;
  std::wstring header_subtitle;
  bool hide_header = false;  // exterior page: watermark instead of header
  bool has_help = false;     // the Help button is offered on this page

  // The sheet's notifications (PSN_*); the result as described above.
  virtual int on_notify(int code) { return code == PSN_SETACTIVE ? 0 : 0; }
  // Commands of the page's controls.
  virtual void on_command(int /*id*/, int /*code*/) {}
  // Timer ticks the sheet forwards to the current page.
  virtual void on_timer(int /*id*/) {}
  // The page's window and controls have just been made.
  virtual void on_create() {}

  bool created() const { return panel_ != nullptr; }
  control_set& controls() { return controls_; }
  const control_set& controls() const { return controls_; }
  hwnd window() const;
  sheet* parent_sheet() const { return sheet_; }

 private:
  friend class sheet;
  friend class sheet_window;
  int dialog_id_;
  resource_set set_;
  control_set controls_;
  wxPanel* panel_ = nullptr;
  sheet* sheet_ = nullptr;
};

class sheet {
 public:
  sheet();
  virtual ~sheet();
  sheet(const sheet&) = delete;
  sheet& operator=(const sheet&) = delete;

  // Set-up before the sheet runs. Pages are not owned; they must outlive the sheet's
  // run (not the sheet: they may be destroyed once it has closed).
  void add_page(page* p);
  void set_caption(std::wstring_view caption);
  std::wstring caption() const { return caption_; }
  void set_icon(int resource_id) { icon_ = resource_id; }
  void set_watermark(int resource_id) { watermark_ = resource_id; }
  void set_header_bitmap(int resource_id) { header_bitmap_ = resource_id; }

  // Runs the sheet modally owned by owner; returns 1 after Finish, 0 after Cancel.
  int run_modal(hwnd owner);
  // For the test driver: opens the sheet without a modal loop. The sheet then closes
  // itself (ended) on Finish or Cancel.
  void open(hwnd owner);
  void close();
  bool is_open() const { return window_ != nullptr; }
  bool ended() const { return ended_; }
  int result() const { return result_; }

  hwnd window() const;
  page* current_page() const;
  int current_index() const { return current_; }
  const std::vector<page*>& pages() const { return pages_; }

  // Wizard buttons (PSWIZB_*): set now, or queued behind the events already waiting
  // (the way pages ask for them while they are being activated).
  void set_wizard_buttons(int flags);
  void post_wizard_buttons(int flags);
  int wizard_buttons() const { return buttons_; }
  // A button of the sheet itself (ID_PSBACK, ID_PSNEXT, ID_WIZFINISH, IDCANCEL, IDHELP).
  void enable_button(int id, bool enable);
  bool button_enabled(int id) const;
  bool button_visible(int id) const;
  void focus_button(int id);
  // The same, queued behind the events already waiting (after wizard buttons posted
  // before it have been applied, so that the button is there to take the focus).
  void post_focus_button(int id);
  hwnd button_window(int id) const;

  // Moves to the page with that dialog id (its set-active may skip it onwards).
  bool select_page_by_id(int dialog_id);

  // What the buttons and keys do; the test driver presses them through these.
  void press(int button_id);  // ID_PSBACK, ID_PSNEXT, ID_WIZFINISH, IDCANCEL, IDHELP
  void key_help();            // F1
  void key_escape();          // Esc
  void close_box();           // the window's close box

  // Timers of the sheet window. From a worker thread the call is carried to the
  // user-interface thread. start_timer returns false when the timer cannot start.
  bool start_timer(int id, int period_ms);
  void stop_timer(int id);
  bool timer_running(int id) const;

  // Centres the sheet over its owner (the screen when it has none).
  void centre();

 protected:
  // A tick of a sheet timer; the default gives it to the current page.
  virtual void on_timer(int id);
  // F1; the default sends the help notification to the current page.
  virtual void on_help_key();

 private:
  friend class sheet_window;
  void create_window(hwnd owner);
  void destroy_window();
  bool activate(int index, int direction);
  void go(int target, int direction);
  void show_page(int index);
  void apply_buttons();
  int index_of(int dialog_id) const;
  void finish(int result);
  void timer_tick(int id);

  std::vector<page*> pages_;
  std::wstring caption_;
  int icon_ = 0, watermark_ = 0, header_bitmap_ = 0;
  sheet_window* window_ = nullptr;
  int current_ = -1;
  int buttons_ = 0;
  bool ended_ = false;
  int result_ = 0;
  std::vector<std::pair<int, std::unique_ptr<wxTimer>>> timers_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // counts the runs; gone with the sheet
};

}  // namespace gui
