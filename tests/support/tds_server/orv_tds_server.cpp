// orv_tds_server: the in-memory TDS test server as a program, for scripts and
// FreeTDS's own clients (tsql, freebcp). Runs until SIGTERM or SIGINT.
//
//   orv_tds_server [--host 127.0.0.1] [--port N] [--port-file FILE]
//                  [--user sa] [--password orv-Test-1] [--version 2000|2005|2008|2012|2019|2022|TEXT]
//                  [--login NAME=PASSWORD]... [--sysadmin-login NAME=PASSWORD]...
//                  [--dbcreator-login NAME=PASSWORD]... [--login-language NAME=LANGUAGE]...
//                  [--database DB]... [--inaccessible DB]... [--refuse-logins]
//                  [--drop-after-bulk-rows N] [--fail-bulk-batch K] [--drop-after-bulk-commit K]
//                  [--slow-ms MS]
//                  [--lock-timeout MS]
//                  [--no-encryption | --force-encryption]
//
// PRELOGIN is answered as SQL Server answers it (the login always in TLS);
// --no-encryption answers "not supported", --force-encryption refuses a
// session in clear.
//
// With --port 0 (the default) a free port is taken; --port-file receives it
// once the server listens. --login adds a login besides --user (which is
// sysadmin); it enters a database only through a user made for it there.
// --dbcreator-login adds one that is a member of dbcreator (it may create
// databases). --login-language gives a login added before it a default
// language other than us_english.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "tests/support/tds_server/tds_server.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;
void on_signal(int) { stop_requested = 1; }

int usage() {
  std::fprintf(stderr,
               "usage: orv_tds_server [--host H] [--port N] [--port-file F] [--user U] [--password P]\n"
               "                      [--login NAME=PASSWORD]... [--sysadmin-login NAME=PASSWORD]...\n"
               "                      [--dbcreator-login NAME=PASSWORD]... [--login-language NAME=LANGUAGE]...\n"
               "                      [--version 2000|2005|2008|2012|2019|2022|TEXT] [--database DB]...\n"
               "                      [--inaccessible DB]... [--refuse-logins] [--drop-after-bulk-rows N]\n"
               "                      [--fail-bulk-batch K] [--drop-after-bulk-commit K] [--slow-ms MS]\n"
               "                      [--lock-timeout MS]\n"
               "                      [--no-encryption | --force-encryption]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  tds::server_options o;
  std::string port_file;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto arg = [&]() -> std::string {
      if (i + 1 >= argc) { std::fprintf(stderr, "orv_tds_server: %s needs a value\n", a.c_str()); std::exit(2); }
      return argv[++i];
    };
    if (a == "--host") o.host = arg();
    else if (a == "--port") o.port = static_cast<uint16_t>(std::atoi(arg().c_str()));
    else if (a == "--port-file") port_file = arg();
    else if (a == "--user") o.user = arg();
    else if (a == "--password") o.password = arg();
    else if (a == "--version") {
      const std::string v = arg();
      o.version_text = v == "2000" ? tds::version_2000 : v == "2005" ? tds::version_2005 : v == "2008" ? tds::version_2008
                     : v == "2012" ? tds::version_2012 : v == "2019" ? tds::version_2019 : v == "2022" ? tds::version_2022 : v;
    }
    else if (a == "--login" || a == "--sysadmin-login" || a == "--dbcreator-login") {
      const std::string v = arg();
      const auto eq = v.find('=');
      if (eq == 0 || eq == std::string::npos) return usage();
      tds::login_option l{v.substr(0, eq), v.substr(eq + 1), a == "--sysadmin-login"};
      l.dbcreator = a == "--dbcreator-login";
      o.logins.push_back(l);
    }
    else if (a == "--login-language") {
      const std::string v = arg();
      const auto eq = v.find('=');
      bool found = false;
      for (auto& l : o.logins) {
        if (eq != std::string::npos && l.name == v.substr(0, eq)) { l.language = v.substr(eq + 1); found = true; }
      }
      if (!found) return usage();
    }
    else if (a == "--database") o.databases.push_back(arg());
    else if (a == "--inaccessible") o.inaccessible.push_back(arg());
    else if (a == "--refuse-logins") o.refuse_logins = true;
    else if (a == "--drop-after-bulk-rows") o.drop_after_bulk_rows = std::atol(arg().c_str());
    else if (a == "--fail-bulk-batch") o.fail_bulk_batch = std::atoi(arg().c_str());
    else if (a == "--drop-after-bulk-commit") o.drop_after_bulk_commit = std::atoi(arg().c_str());
    else if (a == "--slow-ms") o.slow_ms = std::atoi(arg().c_str());
    else if (a == "--no-encryption") o.encryption = tds::encryption_mode::not_supported;
    else if (a == "--force-encryption") o.encryption = tds::encryption_mode::forced;
    else if (a == "--lock-timeout") o.lock_timeout_ms = std::atoi(arg().c_str());
    else return usage();
  }
  std::signal(SIGTERM, on_signal);
  std::signal(SIGINT, on_signal);
  std::signal(SIGPIPE, SIG_IGN);
  try {
    tds::server srv(o);
    if (!port_file.empty()) {
      const std::string tmp = port_file + ".tmp";
      std::ofstream(tmp) << srv.port() << "\n";
      std::rename(tmp.c_str(), port_file.c_str());
    }
    std::printf("orv_tds_server listening on %s:%u\n", o.host.c_str(), srv.port());
    std::fflush(stdout);
    while (!stop_requested) {
      struct timespec ts{0, 100000000};
      nanosleep(&ts, nullptr);
    }
    srv.stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orv_tds_server: %s\n", e.what());
    return 1;
  }
  return 0;
}
