#include "apps/orvell_wizard/finish_page.h"

#include "apps/orvell_wizard/orv_conv.h"

finish_page::finish_page(const std::wstring& success_text, const std::wstring& error_text,
                         const std::wstring& profile_ext)
    : gui_finish_page(success_text, error_text), profile_ext_(profile_ext) {}

void finish_page::on_command(int id, int code) {
  if (id == 1116 && code == gui::BN_CLICKED)
    on_save_settings();
  else
    gui_finish_page::on_command(id, code);
}

void finish_page::on_save_settings() {
  save_settings(window(), profile_ext_,
                [](const std::wstring& path) { return orvell_converter::instance().store_profile_file(path); });
}
