// A MariaDB server for tests: the one scripts/test starts (from the
// environment it sets), or a private one of a test's own; and the mariadb
// command line client on either.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

struct sql_test_server {
  std::string host, user, password;
  unsigned port = 0;
  bool found = false;

  static const sql_test_server& get() {
    static const sql_test_server server = [] {
      sql_test_server s;
      const char* host = std::getenv("ORV_MYSQL_HOST");
      const char* port = std::getenv("ORV_MYSQL_PORT");
      const char* user = std::getenv("ORV_MYSQL_USER");
      const char* password = std::getenv("ORV_MYSQL_PASSWORD");
      if (host && port && user && password) {
        s = {host, user, password, static_cast<unsigned>(std::atoi(port)), true};
      }
      return s;
    }();
    return server;
  }
};

// ---------------------------------------------------------------- the mariadb client

using rows_t = std::vector<std::string>;

inline std::string shell_quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The mariadb command line client on a server (a connection of its own).
inline std::string client(const std::string& database, const sql_test_server& s = sql_test_server::get()) {
  std::string command = "mariadb --no-defaults --batch --skip-column-names -h " + shell_quote(s.host) +
                        " -P " + std::to_string(s.port) + " -u " + shell_quote(s.user) +
                        " --password=" + shell_quote(s.password);
  if (!database.empty()) command += " " + shell_quote(database);
  return command;
}

// Runs the client; its output lines, and the exit status in status.
inline rows_t run_client(const std::string& arguments, int& status) {
  rows_t lines;
  FILE* pipe = ::popen((arguments + " 2>&1").c_str(), "r");
  if (!pipe) {
    status = -1;
    return lines;
  }
  std::string line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  if (!line.empty()) lines.push_back(line);
  status = ::pclose(pipe);
  return lines;
}

inline std::string joined(const rows_t& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

// A MariaDB server of a test's own, for server-wide settings (a global sql_mode,
// autocommit, max_allowed_packet; TLS with the option --with-tls) the shared
// test server must not get. It runs from construction to destruction, with its
// data in a folder of its own.
class sql_private_server {
public:
  explicit sql_private_server(const std::string& options) {
    static int started = 0;  // several servers of one test program never share a folder
    m_dir = ::testing::TempDir() + "orv-mariadb-" + std::to_string(::getpid()) + "-" + std::to_string(++started);
    const std::string script = std::string(ORV_SOURCE_DIR) + "/scripts/mariadb-server";
    if (std::system((script + " start " + m_dir + " " + options + " >" + m_dir + ".log 2>&1").c_str()) != 0) {
      std::ifstream log(m_dir + ".log");
      std::ifstream errors(m_dir + "/error.log");
      std::cerr << "mariadb-server start failed:\n" << log.rdbuf() << errors.rdbuf();
      return;
    }
    // Lines "export ORV_MYSQL_<KEY>=<value>".
    std::ifstream env(m_dir + "/env");
    for (std::string line; std::getline(env, line);) {
      const size_t equals = line.find('=');
      if (line.rfind("export ORV_MYSQL_", 0) != 0 || equals == std::string::npos) continue;
      const std::string key = line.substr(17, equals - 17), value = line.substr(equals + 1);
      if (key == "HOST") m_server.host = value;
      if (key == "PORT") m_server.port = static_cast<unsigned>(std::atoi(value.c_str()));
      if (key == "USER") m_server.user = value;
      if (key == "PASSWORD") m_server.password = value;
      if (key == "CA") m_ca_file = value;
    }
    m_server.found = m_server.port != 0 && !m_server.host.empty();
  }
  ~sql_private_server() {
    const std::string script = std::string(ORV_SOURCE_DIR) + "/scripts/mariadb-server";
    std::system((script + " stop " + m_dir + " >/dev/null 2>&1; rm -rf " + m_dir + " " + m_dir + ".log").c_str());
  }
  sql_private_server(const sql_private_server&) = delete;
  sql_private_server& operator=(const sql_private_server&) = delete;

  const sql_test_server& server() const { return m_server; }
  // The folder of its data and settings.
  const std::string& dir() const { return m_dir; }
  // With the option --with-tls: the certificate authority of the server's
  // certificate (PEM), for a client that verifies it.
  const std::string& ca_file() const { return m_ca_file; }

private:
  std::string m_dir;
  std::string m_ca_file;
  sql_test_server m_server;
};

// Skips (or, under scripts/test, fails) when no server is given.
#define ORV_REQUIRE_MYSQL()                                                             \
  do {                                                                                  \
    if (!sql_test_server::get().found) {                                                \
      if (std::getenv("ORV_REQUIRE_SERVER")) FAIL() << "ORV_MYSQL_* variables missing"; \
      GTEST_SKIP() << "no MariaDB server: ORV_MYSQL_HOST, _PORT, _USER, _PASSWORD unset"; \
    }                                                                                   \
  } while (0)
