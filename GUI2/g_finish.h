// The last page of the wizard: success, or the errors collected during the run.
#pragma once

#include "GUI2/g_wiz_pg.h"

#include <functional>
#include <string>

class gui_finish_page : public wizard_page {
 public:
  gui_finish_page(const std::wstring& success_text, const std::wstring& error_text,
                  gui::resource_set set = gui::resource_set::orvell);

  bool page_init() override;
  int wizard_buttons() const override { return gui::PSWIZB_FINISH; }
  void on_command(int id, int code) override;

 protected:
  // The first time the error box receives the focus the focus moves on to Finish.
  void on_eb_focus();

 private:
  std::wstring success_text_;
  std::wstring error_text_;
  bool first_focus_ = true;
};

// The settings-profile files of the first page (Load Settings) and of the last (Save
// Settings). ext is the profile extension, exactly three characters ("orv"); any other
// is an internal error.

// "Profile Files (.orv)" / "*.orv", then "All Files (*.*)" / "*.*", as a file-dialog filter.
std::wstring profile_file_filter(const std::wstring& ext);
// Asks for a profile to load ("Select Profile File") and hands its path to load. False
// when the user cancelled: nothing was loaded, so the page keeps what it shows. A
// profile that cannot be read is reported (true: settings may have changed in part).
bool load_settings(gui::hwnd owner, const std::wstring& ext, const std::function<bool(const std::wstring&)>& load);
// The profile named on a wizard's command line (the whole line, in the ANSI code
// page) handed to load (the driver's load_profile_file). One that cannot be read is
// shown in an error box and the wizard starts as without one; a missing one raises
// the profile's error.
void load_start_profile(const std::string& cmd_line, const std::function<bool(const std::wstring&)>& load);
// Asks where to save a profile and hands the path to store; a failure is reported.
void save_settings(gui::hwnd owner, const std::wstring& ext, const std::function<bool(const std::wstring&)>& store);
