#include "apps/dunmere_wizard/mss_set.h"

#include "GUI2/g_err_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "common/mss_conv.h"

namespace {

// At most 260 characters of a box.
std::wstring box_text(const gui::control_set& c, int id) { return c.text(id).substr(0, 260); }

}  // namespace

mssql_settings_page::mssql_settings_page(mssql_converter_impl& conv, int wait_limit)
    : wizard_page(118, L"Step 1 of 4", L"Connect to MSSQL server", gui::resource_set::dunmere),
      conv_(conv),
      wait_limit_(wait_limit) {
  has_help = true;
}

mssql_settings_page::~mssql_settings_page() = default;

bool mssql_settings_page::page_init() {
  tk_trace(1, "mssql_settings_page::page_init");
  const mss_login_settings& login = conv_.connection();
  gui::control_set& c = ctrls();
  c.set_text(1014, login.server);
  c.set_text(1012, login.login);
  c.set_text(1013, login.password);
  choose_authentication(login.windows_authentication);
  c.set_checked(1202, conv_.get_engine().is_as_dbo());
  return true;
}

void mssql_settings_page::choose_authentication(bool windows) {
  gui::control_set& c = ctrls();
  c.set_checked(1329, windows);
  c.set_checked(1330, !windows);
  c.enable(1012, !windows);
  c.enable(1013, !windows);
}

void mssql_settings_page::on_command(int id, int code) {
  if (code != gui::BN_CLICKED) return;
  if (id == 1202)
    invert_chbox(id);
  else if (id == 1329 || id == 1330)
    choose_authentication(id == 1329);
}

void mssql_settings_page::apply() {
  const gui::control_set& c = ctrls();
  conv_.connection().windows_authentication = c.checked(1329);
  conv_.set_connection(box_text(c, 1014), box_text(c, 1012), box_text(c, 1013));
  const bool as_dbo = c.checked(1202);
  tk_trace(2, "mss_engine::set_as_dbo(%d)", as_dbo ? 1 : 0);
  conv_.get_engine().set_as_dbo(as_dbo);
}

int mssql_settings_page::on_next() {
  if (attempting_) {
    tk_trace(1, "mssql_settings_page::on_next: an attempt is under way");
    return -1;
  }
  apply();
  using outcome = settings_page::animation::outcome;
  attempting_ = true;
  const outcome result =
      animation_.run(wizard_shell::active_window(),
                     [settings = conv_.connection()] { return mssql_converter_impl::log_in(settings); }, wait_limit_);
  attempting_ = false;
  if (result == outcome::connected) {
    conv_.get_engine().adopt(animation_.connection());
    return 0;
  }
  if (result == outcome::fatal) {
    wizard_error_dialogs dialogs;
    if (animation_.internal_error())
      dialogs.show_internal_error(animation_.message());
    else
      dialogs.show_error(animation_.message());
    dialogs.end_process(-1);
  }
  wizard_shell::error(animation_.message());
  return -1;
}

int mssql_settings_page::on_back() { return attempting_ ? -1 : 0; }

void mssql_settings_page::on_help() { wizard_shell::instance().display_help(1010); }
