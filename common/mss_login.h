// The SQL Server connection a conversion logs in with.
#pragma once

#include <string>

struct mss_login_settings {
  std::wstring server;  // empty: this machine
  std::wstring login;
  std::wstring password;  // as typed
  bool windows_authentication = true;
};
