// The open and save file dialogs of the wizard, the check of a destination file path
// and the start-up check of the common controls.
#pragma once

#include "platform/gui/gui_dialog.h"

#include <string>
#include <string_view>
#include <vector>

// A filter as the wizard writes it: description and pattern pairs, each ended by a
// NUL, the list ended by an empty string ("Profile Files (.orv)\0*.orv\0...\0\0").
struct file_dialog_param {
  std::wstring_view filter;
  std::wstring title;
};

// The pairs of such a filter.
std::vector<gui::file_filter> parse_file_filter(std::wstring_view filter);

class file_dialog {
 public:
  // The initial path gives the file name (its name part) and the folder the dialog
  // opens in (its drive and folder).
  file_dialog(gui::hwnd owner, const file_dialog_param& param, const std::wstring& initial_path);
  virtual ~file_dialog() = default;

  // True when the user chose a file.
  virtual bool show() = 0;
  const std::wstring& get_file_name() const { return file_name_; }

 protected:
  // Runs the dialog with the folder as the working directory meanwhile.
  bool run(bool save);

  gui::hwnd owner_;
  std::vector<gui::file_filter> filters_;
  std::wstring title_;
  std::wstring file_name_;
  std::wstring folder_;
};

class open_file_dialog : public file_dialog {
 public:
  using file_dialog::file_dialog;
  bool show() override;  // the chosen file must exist
};

class save_file_dialog : public file_dialog {
 public:
  // ext: the default extension, with or without its "."; a missing one is an internal error.
  save_file_dialog(gui::hwnd owner, const file_dialog_param& param, const std::wstring& initial_path,
                   const wchar_t* ext);
  // A chosen path that does not contain the default extension anywhere gets it appended.
  bool show() override;

 private:
  std::wstring default_ext_;
};

// Returns when a file may be written at path; otherwise a level-1 tk_exception with
// the reason.
void common_check_dest(const std::wstring& path);

// Returns when the common controls (5.80 or later) are there; otherwise reports and
// ends the program with -1. Without a display it says that no display could be
// opened, and why.
void init_common_controls();
