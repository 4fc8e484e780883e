// The last page of the wizards: the outcome of the run and "Save Settings".
#pragma once

#include "GUI2/g_finish.h"

#include <functional>
#include <string>

class finish_page : public gui_finish_page {
 public:
  // profile_ext: the extension of settings profiles, exactly three characters ("orv",
  // "dun"); store writes the converter's settings into a profile file.
  finish_page(const std::wstring& success_text, const std::wstring& error_text, const std::wstring& profile_ext,
              std::function<bool(const std::wstring&)> store, gui::resource_set set = gui::resource_set::orvell);
  void on_command(int id, int code) override;

 private:
  void on_save_settings();
  std::wstring profile_ext_;
  std::function<bool(const std::wstring&)> store_;
};
