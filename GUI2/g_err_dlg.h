// The error dialogs of the wizard, and the error reporter's dialogs filled with them.
#pragma once

#include "common/error_handler.h"
#include "platform/gui/gui_dialog.h"

#include <string>

// Dialog 114, the internal error: "Send bug" (1112), "OK" (1), "Copy to clipboard" (1108).
class dlg_error_ex : public gui::dialog {
 public:
  explicit dlg_error_ex(const std::wstring& text);

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  std::wstring text_;
};

// Dialog 115, an error the user may continue after: "Continue" (2), "Abort" (1) and
// the check box "&Do not show this dialog box again" (1222).
class dlg_error_continue : public gui::dialog {
 public:
  explicit dlg_error_continue(const std::wstring& text);
  bool get_check() const { return check_; }

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  std::wstring text_;
  bool check_ = false;
};

// What error_handler shows, as the wizard shows it: the dialogs above, the shell's
// error box, its error list and its help. Works from the worker thread of a run.
class wizard_error_dialogs : public error_dialogs {
 public:
  void show_internal_error(const std::wstring& message) override;
  void show_error(const std::wstring& message) override;
  bool ask_continue(const std::wstring& message, bool& do_not_show) override;
  std::vector<std::string>* error_list() override;
  void display_help(int topic) override;
};
