// What to do with an existing destination: the table prompt (overwrite or merge) and
// the database prompt (one of the four modes).
#pragma once

#include "platform/gui/gui_dialog.h"

#include <string>

// Dialog 120: Cancel (2), "&Overwrite" (1), "&Merge" (1109), Help (9).
class overwrite_dlg : public gui::dialog {
 public:
  overwrite_dlg(int help_topic, const std::wstring& text);
  // 0 none or Cancel, 1 overwrite, 2 merge.
  int get_choice() const { return choice_; }

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  std::wstring text_;
  int help_topic_;
  int choice_ = 0;
};

// Dialog 121: the modes 0-3 as radio buttons 1329-1332, OK (1), Cancel (2), Help (9).
class overwrite_dlg2 : public gui::dialog {
 public:
  overwrite_dlg2(int help_topic, const std::wstring& text);
  int get_mode() const { return mode_; }

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  std::wstring text_;
  int help_topic_;
  int mode_ = 0;
};
