// What to do with an existing destination: the table prompt (overwrite or merge) and
// the database prompt (one of the four modes).
#pragma once

#include "platform/gui/gui_dialog.h"

#include <functional>
#include <string>

// What both prompts share: the warning caption and text, Cancel and Help.
class overwrite_prompt : public gui::dialog {
 protected:
  overwrite_prompt(int template_id, int help_topic, const std::wstring& text);
  void on_init() override;
  // Cancel ends the prompt, Help opens the topic and keeps it; true when handled.
  bool on_common_command(int id);

 private:
  std::wstring text_;
  int help_topic_;
};

// Dialog 120: Cancel (2), "&Overwrite" (1), "&Merge" (1109), Help (9).
class overwrite_dlg : public overwrite_prompt {
 public:
  overwrite_dlg(int help_topic, const std::wstring& text);
  // 0 none or Cancel, 1 overwrite, 2 merge.
  int get_choice() const { return choice_; }

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  int choice_ = 0;
};

// Dialog 121: the modes 0-3 as radio buttons 1329-1332, OK (1), Cancel (2), Help (9).
class overwrite_dlg2 : public overwrite_prompt {
 public:
  overwrite_dlg2(int help_topic, const std::wstring& text);
  int get_mode() const { return mode_; }

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  int mode_ = 0;
};

// Next on a file page with a server destination: asks what the wizards ask about an
// existing database (a workbook) or table (a CSV file), or whether to create a missing
// database for a CSV file, and gives the mode the run acts on, or -1 to stay on the
// page. Nothing is dropped here. table_exists is asked only for a CSV file going into
// an existing database; mode is the mode chosen before; kind names the server in the
// trace ("MySQL", "MS SQL").
int choose_dest_mode(bool from_xls, bool db_exists, const std::function<bool()>& table_exists, int mode,
                     const char* kind);
