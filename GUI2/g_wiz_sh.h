// The wizard shell: the process-wide wizard sheet with the program's title, icon and
// bitmaps, its message boxes, help, the progress timer and the list of errors
// collected during a run.
#pragma once

#include "TK/tk_singl.h"
#include "common/init_conv.h"
#include "platform/gui/gui_sheet.h"

#include <atomic>
#include <string>
#include <vector>

class wizard_shell : public tk_singleton<wizard_shell>, public gui::sheet, public progress_timer {
 public:
  static constexpr int timer_id = 0x10000;
  static constexpr size_t max_errors = 20;

  // icon 0 means no icon; a bitmap id of 0 loads nothing.
  wizard_shell(const std::wstring& title, int icon_id, int watermark_id, int header_id);
  ~wizard_shell() override;

  // False when no shell exists; otherwise whether the first page has been shown.
  static bool is_initialized();

  // The progress timer (0x10000), started by the conversion scope on the worker
  // thread; starting it twice, or a timer the platform refuses, is an internal error.
  void start_timer(unsigned period_ms) override;
  void stop_timer();
  bool is_timer_running() const { return timer_running_; }

  // Message boxes, captioned with the title once the wizard shows ("Error" and no
  // owner before). Callable from any thread; a worker waits for the answer.
  static void error(const std::wstring& text);
  static void error(const std::string& text);  // in the thread's ANSI code page
  static void message(const std::wstring& text);
  // Yes/No; extra_flags usually gui::MB_DEFBUTTON2 (No is the default). True on Yes.
  static bool question(const std::wstring& text, unsigned extra_flags);

  // A button of the sheet itself: Cancel is 2, Help is 9.
  void enable_button(int id, bool enable);

  // Help: the help book next to the program, at its default or a numeric topic.
  void display_help();
  void display_help(int topic);
  // The help book (the program's path with the extension ".htb"); tests point it elsewhere.
  const std::wstring& help_file() const { return help_file_; }
  void set_help_file(const std::wstring& path) { help_file_ = path; }

  // Errors of the run (ANSI texts), shown by the finish page; at most 20.
  std::vector<std::string>& errors() { return errors_; }

  const std::wstring& title() const { return title_; }
  // The window dialogs of the wizard are owned by: the sheet once it shows, else none.
  static gui::hwnd active_window();

  // Runs the sheet modally; its result (1 after Finish, 0 after Cancel).
  int run(gui::hwnd owner);

  // The first page activation sets the sheet window up (caption, icon, position)
  // and marks the shell initialised.
  void initialise_on_first_activation();

 protected:
  void on_timer(int id) override;
  void on_help_key() override;

 private:
  void open_help(int topic);  // -1: the default topic

  std::wstring title_;
  std::wstring help_file_;
  std::atomic<bool> timer_running_{false};
  std::atomic<bool> initialized_{false};
  std::vector<std::string> errors_;
};
