// The SQL Server connection page: the server, Windows or SQL Server
// authentication, login and password, and connecting as database owner. Next
// connects on a thread of its own behind the connecting dialog, with a copy of the
// settings; the engine takes the connection, on this thread, only from the attempt
// that succeeded, and the wizard goes on only then.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "apps/dunmere_wizard/mss_anim.h"

class mssql_converter_impl;

class mssql_settings_page : public wizard_page {
 public:
  // The provider gives up a read of the login after 15 seconds; an attempt is given
  // up after 20 seconds in all.
  static constexpr int login_timeout_seconds = 15;
  static constexpr int wait_limit_seconds = login_timeout_seconds + 5;

  // conv: the converter whose connection settings and engine the page works on;
  // wait_limit: the attempt's limit in seconds.
  explicit mssql_settings_page(mssql_converter_impl& conv, int wait_limit = wait_limit_seconds);
  ~mssql_settings_page() override;

  bool page_init() override;
  // -1 stays on the page, 0 goes on to the next page. Pressed again while an
  // attempt runs, it stays and starts nothing.
  int on_next() override;
  int on_back() override;
  void on_help() override;
  void on_command(int id, int code) override;

  // The page into the converter and its engine.
  void apply();

  settings_page::animation& connecting() { return animation_; }

 private:
  void choose_authentication(bool windows);

  mssql_converter_impl& conv_;
  int wait_limit_;
  settings_page::animation animation_;
  bool attempting_ = false;
};
