// The last page of orvell_wizard: the outcome of the run and "Save Settings".
#pragma once

#include "GUI2/g_finish.h"

#include <string>

class finish_page : public gui_finish_page {
 public:
  // profile_ext: the extension of settings profiles, exactly three characters ("orv").
  finish_page(const std::wstring& success_text, const std::wstring& error_text, const std::wstring& profile_ext);
  void on_command(int id, int code) override;

 private:
  void on_save_settings();
  std::wstring profile_ext_;
};
