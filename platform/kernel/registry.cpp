#include "platform/kernel/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "platform/kernel/codepage.h"
#include "platform/kernel/last_error.h"

namespace kernel {

struct registry_key {
  std::string path;  // "HKEY_CURRENT_USER\Software\..."
  bool predefined;
};

}  // namespace kernel

namespace {

kernel::registry_key current_user{"HKEY_CURRENT_USER", true};
kernel::registry_key local_machine{"HKEY_LOCAL_MACHINE", true};

}  // namespace

HKEY const HKEY_CURRENT_USER = &current_user;
HKEY const HKEY_LOCAL_MACHINE = &local_machine;

namespace kernel {
namespace {

std::mutex g_lock;  // serialises this process; the lock file the others
std::optional<std::string> g_file;

std::string folded(const std::string& s) {
  std::string out(s);
  for (auto& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

struct stored_value {
  std::string name;
  registry_value value;
};

struct stored_key {
  std::string path;
  std::map<std::string, stored_value> values;  // by folded name
};

using hive = std::map<std::string, stored_key>;  // by folded path

// ---- Text form ------------------------------------------------------------

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Reads a quoted text at pos; false when it is not one.
bool unquote(const std::string& line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  out.clear();
  for (++pos; pos < line.size(); ++pos) {
    char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= line.size()) return false;
    switch (line[pos]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'x':
        if (pos + 2 >= line.size()) return false;
        out += static_cast<char>(std::strtol(line.substr(pos + 1, 2).c_str(), nullptr, 16));
        pos += 2;
        break;
      default: out += line[pos];
    }
  }
  return false;
}

std::string hex_bytes(const std::vector<BYTE>& bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", bytes[i]);
    out += buf;
  }
  return out;
}

std::string value_text(const registry_value& v) {
  char buf[32];
  switch (v.type) {
    case REG_SZ: return quoted(wide_to_utf8(v.text));
    case REG_EXPAND_SZ: return "str(2):" + quoted(wide_to_utf8(v.text));
    case REG_DWORD: std::snprintf(buf, sizeof buf, "dword:%08x", v.number); return buf;
    default: std::snprintf(buf, sizeof buf, "hex(%x):", v.type); return buf + hex_bytes(v.bytes);
  }
}

bool parse_value(const std::string& line, std::size_t pos, registry_value& v) {
  std::string text;
  if (line.compare(pos, 6, "dword:") == 0) {
    v.type = REG_DWORD;
    v.number = static_cast<DWORD>(std::strtoul(line.c_str() + pos + 6, nullptr, 16));
    return true;
  }
  if (line.compare(pos, 7, "str(2):") == 0) {
    pos += 7;
    if (!unquote(line, pos, text)) return false;
    v.type = REG_EXPAND_SZ;
    v.text = utf8_to_wide(text);
    return true;
  }
  if (line.compare(pos, 4, "hex(") == 0) {
    char* end = nullptr;
    v.type = static_cast<DWORD>(std::strtoul(line.c_str() + pos + 4, &end, 16));
    if (!end || end[0] != ')' || end[1] != ':') return false;
    std::stringstream in(end + 2);
    std::string byte;
    while (std::getline(in, byte, ','))
      if (!byte.empty()) v.bytes.push_back(static_cast<BYTE>(std::strtoul(byte.c_str(), nullptr, 16)));
    return true;
  }
  if (!unquote(line, pos, text)) return false;
  v.type = REG_SZ;
  v.text = utf8_to_wide(text);
  return true;
}

hive parse(std::istream& in) {
  hive h;
  stored_key* key = nullptr;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      std::string path = line.substr(1, line.size() - 2);
      key = &h[folded(path)];
      key->path = path;
      continue;
    }
    if (!key || line.empty() || line[0] != '"') continue;
    std::size_t pos = 0;
    std::string name;
    if (!unquote(line, pos, name) || pos >= line.size() || line[pos] != '=') continue;
    registry_value v;
    if (parse_value(line, pos + 1, v)) key->values[folded(name)] = stored_value{name, std::move(v)};
  }
  return h;
}

std::string render(const hive& h) {
  std::string out = "; Settings of the Veltrask programs. Written by the programs; edit with care.\n";
  for (const auto& [k, key] : h) {
    out += "\n[" + key.path + "]\n";
    for (const auto& [n, v] : key.values) out += quoted(v.name) + "=" + value_text(v.value) + "\n";
  }
  return out;
}

// ---- The file ---------------------------------------------------------------

std::string default_file() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
    }
    base = std::string(home ? home : "/tmp") + "/.config";
  }
  return base + "/veltrask/registry.reg";
}

// Creates the folders of a path, owner-only where they are new.
bool make_folders(const std::string& file) {
  for (std::size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1)) {
    std::string dir = file.substr(0, at);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// Holds the registry file's lock for one operation, across processes.
class file_lock {
 public:
  file_lock(const std::string& file, bool exclusive) : guard_(g_lock) {
    if (!make_folders(file)) {
      error_ = error_from_errno(errno);
      return;
    }
    fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      error_ = error_from_errno(errno);
      return;
    }
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
    }
  }
  ~file_lock() {
    if (fd_ >= 0) ::close(fd_);
  }
  DWORD error() const { return error_; }

 private:
  std::lock_guard<std::mutex> guard_;
  int fd_ = -1;
  DWORD error_ = ERROR_SUCCESS;
};

hive load(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  return parse(in);
}

DWORD save(const std::string& file, const hive& h) {
  std::string tmp = file + ".XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return error_from_errno(errno);
  fchmod(fd, 0600);
  std::string text = render(h);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      DWORD e = error_from_errno(n < 0 ? errno : ENOSPC);
      ::close(fd);
      ::unlink(tmp.c_str());
      return e;
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0 || ::close(fd) != 0) {
    DWORD e = error_from_errno(errno);
    ::unlink(tmp.c_str());
    return e;
  }
  if (std::rename(tmp.c_str(), file.c_str()) != 0) {
    DWORD e = error_from_errno(errno);
    ::unlink(tmp.c_str());
    return e;
  }
  return ERROR_SUCCESS;
}

LONG fail(DWORD code) {
  set_last_error(code);
  return static_cast<LONG>(code);
}

// The full path of a sub-key, or nothing for a name that cannot be one.
std::optional<std::string> key_path(HKEY parent, const std::string& sub_key) {
  std::string path = parent->path;
  std::string piece;
  for (std::size_t i = 0; i <= sub_key.size(); ++i) {
    char c = i < sub_key.size() ? sub_key[i] : '\\';
    if (c == '\\') {
      if (!piece.empty()) path += '\\' + piece;
      piece.clear();
    } else if (static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']') {
      return std::nullopt;
    } else {
      piece += c;
    }
  }
  return path;
}

}  // namespace

std::string registry_file() {
  std::lock_guard<std::mutex> g(g_lock);
  return g_file ? *g_file : default_file();
}

void set_registry_file(std::optional<std::string> path) {
  std::lock_guard<std::mutex> g(g_lock);
  g_file = std::move(path);
}

LONG reg_create_key(HKEY parent, const std::string& sub_key, HKEY* result, DWORD* disposition) {
  if (!parent) return fail(ERROR_INVALID_HANDLE);
  if (!result) return fail(ERROR_INVALID_PARAMETER);
  auto path = key_path(parent, sub_key);
  if (!path) return fail(ERROR_INVALID_PARAMETER);
  std::string file = registry_file();
  file_lock lock(file, true);
  if (lock.error()) return fail(lock.error());
  hive h = load(file);
  bool created = false;
  // The key and every key above it.
  for (std::size_t at = path->find('\\'); ; at = path->find('\\', at + 1)) {
    std::string part = path->substr(0, at);
    auto [it, inserted] = h.try_emplace(folded(part));
    if (inserted) {
      it->second.path = part;
      created = true;
    }
    if (at == std::string::npos) break;
  }
  if (created) {
    if (DWORD e = save(file, h)) return fail(e);
  }
  *result = new registry_key{*path, false};
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG reg_open_key(HKEY parent, const std::string& sub_key, HKEY* result) {
  if (!parent) return fail(ERROR_INVALID_HANDLE);
  if (!result) return fail(ERROR_INVALID_PARAMETER);
  auto path = key_path(parent, sub_key);
  if (!path) return fail(ERROR_INVALID_PARAMETER);
  std::string file = registry_file();
  file_lock lock(file, false);
  if (lock.error()) return fail(lock.error());
  hive h = load(file);
  if (*path != parent->path && !h.count(folded(*path))) return fail(ERROR_FILE_NOT_FOUND);
  *result = new registry_key{*path, false};
  return ERROR_SUCCESS;
}

LONG reg_close_key(HKEY key) {
  if (!key) return fail(ERROR_INVALID_HANDLE);
  if (!key->predefined) delete key;
  return ERROR_SUCCESS;
}

LONG reg_query_value(HKEY key, const std::string& name, registry_value& value) {
  if (!key) return fail(ERROR_INVALID_HANDLE);
  std::string file = registry_file();
  file_lock lock(file, false);
  if (lock.error()) return fail(lock.error());
  hive h = load(file);
  auto k = h.find(folded(key->path));
  if (k == h.end()) return fail(ERROR_FILE_NOT_FOUND);
  auto v = k->second.values.find(folded(name));
  if (v == k->second.values.end()) return fail(ERROR_FILE_NOT_FOUND);
  value = v->second.value;
  return ERROR_SUCCESS;
}

LONG reg_set_value(HKEY key, const std::string& name, const registry_value& value) {
  if (!key) return fail(ERROR_INVALID_HANDLE);
  std::string file = registry_file();
  file_lock lock(file, true);
  if (lock.error()) return fail(lock.error());
  hive h = load(file);
  stored_key& k = h[folded(key->path)];
  k.path = key->path;
  k.values[folded(name)] = stored_value{name, value};
  if (DWORD e = save(file, h)) return fail(e);
  return ERROR_SUCCESS;
}

LONG reg_delete_value(HKEY key, const std::string& name) {
  if (!key) return fail(ERROR_INVALID_HANDLE);
  std::string file = registry_file();
  file_lock lock(file, true);
  if (lock.error()) return fail(lock.error());
  hive h = load(file);
  auto k = h.find(folded(key->path));
  if (k == h.end() || !k->second.values.erase(folded(name))) return fail(ERROR_FILE_NOT_FOUND);
  if (DWORD e = save(file, h)) return fail(e);
  return ERROR_SUCCESS;
}

}  // namespace kernel
