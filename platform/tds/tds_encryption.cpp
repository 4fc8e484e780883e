#include "platform/tds/tds_encryption.h"

#include "platform/tds/tds_sybdb.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
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

// The process's configuration, rewritten whole when a server or the setting
// is new to it. db-lib opens it by name at the start of each dbopen, through
// the name set once with dbsetifile: /proc/self/fd/N of an anonymous file in
// memory, whose descriptor N takes each new version at once (dup3), so that a
// login reading it sees one version whole. Where that name cannot be read, a
// private folder holds the file (a new version renamed over the old one),
// removed when no login is reading it.
class configuration {
 public:
  ~configuration() {
    if (fd_ >= 0) ::close(fd_);
    remove_folder();
  }
  bool use(const std::string& host, const tds_encryption& setting) {
    std::lock_guard<std::mutex> g(mutex_);
    ++readers_;
    const bool same = setting.require == setting_.require && setting.ca_file == setting_.ca_file;
    if (same && hosts_.count(host) && (fd_ >= 0 || !dir_.empty())) return true;
    hosts_.insert(host);
    setting_ = setting;
    std::string text = "; Written by the program at each new login: FreeTDS's encryption settings.\n[global]\n";
    text += std::string("\tencryption = ") + (setting.require ? "require" : "request") + "\n";
    for (const auto& h : hosts_) text += section(h, setting);
    if (!in_folder_ && write_in_memory(text)) return true;
    in_folder_ = true;
    return write_in_folder(text);
  }
  // A login has read it (or given up).
  void done() {
    std::lock_guard<std::mutex> g(mutex_);
    if (--readers_ == 0 && in_folder_) remove_folder();
  }

 private:
  bool write_in_memory(const std::string& text) {
    const int fd = ::memfd_create("orv-freetds.conf", MFD_CLOEXEC);
    if (fd < 0) return false;
    if (!write_all(fd, text)) {
      ::close(fd);
      return false;
    }
    if (fd_ >= 0) {
      const bool swapped = ::dup3(fd, fd_, O_CLOEXEC) >= 0;
      ::close(fd);
      return swapped;
    }
    fd_ = fd;
    path_ = "/proc/self/fd/" + std::to_string(fd_);
    if (!reads_back(text)) {
      ::close(fd_);
      fd_ = -1;
      return false;
    }
    register_path();
    return true;
  }
  bool write_in_folder(const std::string& text) {
    if (dir_.empty()) {
      std::error_code ec;
      std::filesystem::path base = std::filesystem::temp_directory_path(ec);
      if (ec) base = "/tmp";
      std::string templ = (base / "orv-freetds-XXXXXX").string();
      if (!::mkdtemp(templ.data())) return false;
      dir_ = templ;
      path_ = dir_ + "/freetds.conf";
      registered_ = false;
    }
    const std::string tmp = path_ + ".new";
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out << text;
      if (!out.flush()) return false;
    }
    if (std::rename(tmp.c_str(), path_.c_str()) != 0) return false;
    register_path();
    return true;
  }
  static bool write_all(int fd, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      at += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool reads_back(const std::string& text) const {
    std::ifstream in(path_, std::ios::binary);
    std::string read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return read == text;
  }
  void register_path() {
    if (registered_) return;
    // db-lib keeps the name in a global that logins read: it changes only
    // while no login reads it.
    dbsetifile(const_cast<char*>(path_.c_str()));
    registered_ = true;
  }
  void remove_folder() {
    if (dir_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
    hosts_.clear();
  }

  std::mutex mutex_;
  int fd_ = -1;
  bool in_folder_ = false;
  int readers_ = 0;
  std::string dir_, path_;
  std::set<std::string> hosts_;
  tds_encryption setting_;
  bool registered_ = false;
};

configuration& the_configuration() {
  static configuration config;
  return config;
}

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

tds_login_configuration::tds_login_configuration(const std::string& server, const tds_encryption& setting) {
  written_ = the_configuration().use(tds_split_server(server).host, setting);
  if (!written_) tk_trace(1, "FreeTDS configuration not written: the login follows freetds.conf");
}

tds_login_configuration::~tds_login_configuration() { the_configuration().done(); }
