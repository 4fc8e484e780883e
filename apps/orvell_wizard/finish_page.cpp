#include "apps/orvell_wizard/finish_page.h"

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "apps/orvell_wizard/welcome_page.h"
#include "common/error_handler.h"

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
  if (profile_ext_.size() != 3) throw tk_mail_assertion("g_finish", 137);
  const std::wstring filter = profile_file_filter(profile_ext_);
  save_file_dialog dlg(window(), {filter, L"Select Profile File"}, std::wstring(), profile_ext_.c_str());
  if (!dlg.show()) return;
  // A file that cannot be written is reported; the wizard stays on this page.
  try {
    if (!orvell_converter::instance().store_profile_file(dlg.get_file_name()))
      wizard_shell::error(L"Failed to save settings to " + dlg.get_file_name());
  } catch (const tk_exception& e) {
    wizard_shell::error(tk_from_ansi(error_handler::instance().message_for(e)));
  }
}
