// Modal dialogs made from templates, message boxes, and the hook through which a test
// script answers every modal window instead of a person.
#pragma once

#include "platform/gui/gui_controls.h"
#include "platform/gui/gui_types.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class wxDialog;
class wxTimer;

namespace gui {

class dialog_window;

// A modal dialog of a template. Derive, handle on_init and on_command, and call end
// with the dialog's result. Made on run_modal and destroyed when it returns, so the
// controls exist only in between; read what you need before ending.
class dialog {
 public:
  explicit dialog(int template_id, resource_set set = resource_set::orvell);
  virtual ~dialog();
  dialog(const dialog&) = delete;
  dialog& operator=(const dialog&) = delete;

  // Runs the dialog owned by owner (nullptr: none) until end is called; returns the
  // code given to end. From a worker thread the dialog runs on the user-interface
  // thread and the worker waits for it.
  int run_modal(hwnd owner);
  // Ends the dialog with code (also before the window exists: run_modal then returns
  // at once). Safe from any thread.
  void end(int code);
  bool ended() const;
  int end_code() const { return end_code_; }

  int template_id() const { return template_id_; }
  control_set& controls() { return controls_; }
  const control_set& controls() const { return controls_; }
  hwnd window() const;
  void set_caption(std::wstring_view caption);
  std::wstring caption() const;
  void centre();
  void raise();

  // A timer on the dialog's window; its ticks arrive in on_timer on the user-interface thread.
  bool start_timer(int id, int period_ms);
  void stop_timer(int id);

 protected:
  virtual void on_init() {}
  // Commands of the controls; Esc and the close box arrive as IDCANCEL. The default
  // ends the dialog on IDOK and IDCANCEL.
  virtual void on_command(int id, int code);
  virtual void on_timer(int /*id*/) {}

 private:
  friend class dialog_window;
  int run_here(hwnd owner);
  void command(int id, int code);

  int template_id_;
  resource_set set_;
  control_set controls_;
  dialog_window* window_ = nullptr;
  std::atomic<bool> ended_{false};
  int end_code_ = 0;
  std::vector<std::pair<int, std::unique_ptr<wxTimer>>> timers_;
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // gone with the dialog object
};

// A message box; flags are the MB_ values. Returns IDOK, IDYES or IDNO. From a
// worker thread it shows on the user-interface thread and waits for the answer.
int message_box(hwnd owner, std::wstring_view text, std::wstring_view caption, unsigned flags);

// The open and save file dialogs.
struct file_filter {
  std::wstring description;  // "MS Excel Workbooks (.xls;.xlsx)"
  std::wstring pattern;      // "*.xls;*.xlsx"
};
struct file_request {
  hwnd owner = nullptr;
  bool save = false;
  std::wstring title;
  std::vector<file_filter> filters;
  std::wstring folder;  // initial folder; empty: the working directory
  std::wstring name;    // initial file name
  bool must_exist = false;
};
// The chosen path, or nothing when the user cancelled.
std::optional<std::wstring> file_dialog(const file_request& request);
// The toolkit's wildcard for filters: each pattern in lower and in upper case, so that
// "*.xls" also lists "BOOK.XLS".
std::wstring file_wildcard(const std::vector<file_filter>& filters);

// What a test script answers in place of the user. Installed, it is asked for every
// modal window and help request instead of showing it.
struct modal_record {
  std::string kind;  // "message", "dialog", "open", "save", "help"
  int id = 0;        // dialog template id, help topic (-1: default topic)
  std::wstring caption;
  std::wstring text;  // message text; a dialog's text 1320 when it has one
  int answer = 0;     // the button or end code given
};

class modal_script {
 public:
  virtual ~modal_script() = default;
  virtual int message_box(const std::wstring& caption, const std::wstring& text, unsigned flags) = 0;
  // Must end the dialog (dialog::end) before returning.
  virtual void run_dialog(dialog& d) = 0;
  virtual std::optional<std::wstring> file_dialog(const file_request& request) = 0;
  // A help topic opened (-1: the default topic); true when handled, false to let the
  // help viewer show it.
  virtual bool help(const std::wstring& book, int topic) = 0;
};

void set_modal_script(modal_script* script);
modal_script* current_modal_script();

}  // namespace gui
