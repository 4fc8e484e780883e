#include "common/mss_conv.h"

#include "TK/tk_trace.h"
#include "UDB/udb_prof.h"

namespace {

const wchar_t* const k_section = L"MS SQL Server settings";

}  // namespace

mssql_converter_impl::mssql_converter_impl() : engine_(false) { tk_trace(2, "mssql_converter_impl::ctor"); }

mssql_converter_impl::~mssql_converter_impl() { tk_trace(2, "mssql_converter_impl::dtor"); }

void mssql_converter_impl::set_connection(const std::wstring& server, const std::wstring& login,
                                          const std::wstring& password) {
  login_.server = server;
  login_.login = login;
  login_.password = password;
}

bool mssql_converter_impl::connect_mssql_server() {
  tk_trace(1, "mssql_converter_impl::connect_mssql_server");
  engine_.adopt(log_in(login_));
  return true;
}

mss_connection mssql_converter_impl::log_in(const mss_login_settings& settings) {
  mss_connection wanted;
  wanted.server = settings.server;
  wanted.windows_authentication = settings.windows_authentication;
  if (!settings.windows_authentication) {
    wanted.login = settings.login;
    wanted.password = settings.password;
  }
  return mss_engine::log_in(std::move(wanted), true);
}

bool mssql_converter_impl::store_profile(udb_profile& profile) {
  tk_trace(2, "mssql_converter_impl::store_profile");
  if (!login_.server.empty()) profile.set_value(k_section, L"server", login_.server);
  if (!login_.login.empty()) profile.set_value(k_section, L"login", login_.login);
  if (!login_.password.empty()) profile.set_value(k_section, L"password", login_.password);
  profile.set_value(k_section, L"windows authentication", login_.windows_authentication ? L"1" : L"0");
  profile.set_value(k_section, L"connect as DBO", engine_.is_as_dbo() ? L"1" : L"0");
  return true;
}

bool mssql_converter_impl::load_profile(udb_profile& profile) {
  tk_trace(2, "mssql_converter_impl::load_profile");
  auto text = [&profile](const wchar_t* key, std::wstring& value) {
    std::wstring v = profile.get_value(k_section, key);
    if (!v.empty()) value = v;
  };
  text(L"server", login_.server);
  text(L"login", login_.login);
  text(L"password", login_.password);
  if (auto v = profile.get_value(k_section, L"windows authentication"); !v.empty())
    login_.windows_authentication = v == L"1";
  if (auto v = profile.get_value(k_section, L"connect as DBO"); !v.empty()) engine_.set_as_dbo(v == L"1");
  return true;
}
