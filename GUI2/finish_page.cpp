#include "GUI2/finish_page.h"

finish_page::finish_page(const std::wstring& success_text, const std::wstring& error_text,
                         const std::wstring& profile_ext, std::function<bool(const std::wstring&)> store,
                         gui::resource_set set)
    : gui_finish_page(success_text, error_text, set), profile_ext_(profile_ext), store_(std::move(store)) {}

void finish_page::on_command(int id, int code) {
  if (id == 1116 && code == gui::BN_CLICKED)
    on_save_settings();
  else
    gui_finish_page::on_command(id, code);
}

void finish_page::on_save_settings() { save_settings(window(), profile_ext_, store_); }
