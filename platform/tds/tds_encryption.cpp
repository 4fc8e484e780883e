#include "platform/tds/tds_encryption.h"

#include "platform/tds/tds_sybdb.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

#include "TK/tk_trace.h"

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The section of a server's host. FreeTDS looks a "host:port" or
// "host\instance" name up whole first (found nowhere, every file's [global]
// applies), then takes the port or instance from it and looks the host up:
// found here, this file's settings apply last and no other file is read. A
// bare host is found at once; its port is SQL Server's.
// A host that could end a line or open a section of the file gets none (no
// host name holds such characters): [global] applies to it.
std::string section(const std::string& host, const tds_encryption& setting) {
  for (const char c : host)
    if (static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']' || c == ';' || c == '#') return {};
  std::string s = "[" + host + "]\n\thost = " + host + "\n\tport = 1433\n";
  s += std::string("\tencryption = ") + (setting.require ? "require" : "request") + "\n";
  if (!setting.ca_file.empty()) s += "\tca file = " + setting.ca_file + "\n";
  return s;
}

// The process's configuration file, rewritten whole (a new file renamed over
// the old one, so a login reading it sees one version) when a server or the
// setting is new to it; removed at exit.
class configuration {
 public:
  ~configuration() {
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  bool use(const std::string& host, const tds_encryption& setting) {
    std::lock_guard<std::mutex> g(mutex_);
    if (dir_.empty() && !make_dir()) return false;
    const bool same = setting.require == setting_.require && setting.ca_file == setting_.ca_file;
    if (same && hosts_.count(host)) return true;
    hosts_.insert(host);
    setting_ = setting;
    std::string text = "; Written by the program at each new login: FreeTDS's encryption settings.\n[global]\n";
    text += std::string("\tencryption = ") + (setting.require ? "require" : "request") + "\n";
    for (const auto& h : hosts_) text += section(h, setting);
    const std::string tmp = path_ + ".new";
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out << text;
      if (!out.flush()) return false;
    }
    if (std::rename(tmp.c_str(), path_.c_str()) != 0) return false;
    if (!registered_) {
      // Set once: db-lib keeps the name in a global that logins read.
      dbsetifile(const_cast<char*>(path_.c_str()));
      registered_ = true;
    }
    return true;
  }

 private:
  bool make_dir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string templ = (base / "orv-freetds-XXXXXX").string();
    if (!::mkdtemp(templ.data())) return false;
    dir_ = templ;
    path_ = dir_ + "/freetds.conf";
    return true;
  }

  std::mutex mutex_;
  std::string dir_, path_;
  std::set<std::string> hosts_;
  tds_encryption setting_;
  bool registered_ = false;
};

}  // namespace

tds_server_parts tds_split_server(const std::string& server) {
  tds_server_parts p;
  p.host = server;
  if (const auto colon = server.rfind(':'); colon != std::string::npos && colon + 1 < server.size() &&
                                            server.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    p.host = server.substr(0, colon);
    p.port = server.substr(colon + 1);
  } else if (const auto slash = server.find('\\'); slash != std::string::npos) {
    p.host = server.substr(0, slash);
    p.instance = server.substr(slash + 1);
  }
  return p;
}

tds_encryption tds_encryption_setting() {
  tds_encryption e;
  if (const char* v = std::getenv("ORV_MSS_ENCRYPT")) {
    const std::string s = lower(v);
    e.require = s == "yes" || s == "true" || s == "require" || s == "mandatory";
  }
  if (const char* v = std::getenv("ORV_MSS_CA_FILE")) e.ca_file = v;
  return e;
}

bool tds_configure_login(const std::string& server, const tds_encryption& setting) {
  static configuration config;
  if (config.use(tds_split_server(server).host, setting)) return true;
  tk_trace(1, "FreeTDS configuration not written: the login follows freetds.conf");
  return false;
}
