#include "UDB/udb_prof.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

// The format has no escapes: a line break inside a key or a value would split
// the entry into lines of their own, so it is written as a blank.
std::wstring one_line(std::wstring text) {
  for (auto& c : text)
    if (c == L'\r' || c == L'\n') c = L' ';
  return text;
}

bool write_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

udb_profile::udb_profile() {
  add_section(available_queries_section);
  add_section(selected_tables_section);
  add_section(generic_section);
}

void udb_profile::add_section(const std::wstring& name) { sections_.try_emplace(name); }

void udb_profile::set_value(const std::wstring& section_name, const std::wstring& key,
                            const std::wstring& value) {
  sections_[section_name].emplace(key, value);
}

std::wstring udb_profile::get_value(const std::wstring& section_name, const std::wstring& key) const {
  auto s = sections_.find(section_name);
  if (s == sections_.end()) return {};
  auto e = s->second.find(key);
  return e == s->second.end() ? std::wstring() : e->second;
}

const udb_profile::section& udb_profile::get_section(const wchar_t* name) const {
  auto s = sections_.find(name);
  if (s == sections_.end()) throw tk_exception_ex();
  return s->second;
}

const udb_profile::section& udb_profile::get_available_queries() const {
  return get_section(available_queries_section);
}

const udb_profile::section& udb_profile::get_selected_tables() const {
  return get_section(selected_tables_section);
}

bool udb_profile::store(const std::wstring& file_name) const {
  tk_trace(2, "udb_profile::store)");
  std::string path;
  if (!tk_to_ansi_exact(file_name, path) || path.empty()) return false;

  std::string text;
  for (const auto& [name, entries] : sections_) {
    std::wstring line = L"[" + one_line(name) + L"]";
    text += tk_to_utf8(line) + "\r\n";
    const bool key_alone = name == selected_tables_section;
    for (const auto& [key, value] : entries) {
      line = one_line(key);
      if (!(key_alone && value.empty())) line += L"=" + one_line(value);
      text += tk_to_utf8(line) + "\r\n";
    }
    text += "\r\n";
  }

  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    tk_trace(2, "Cannot create profile %s", path.c_str());
    return false;
  }
  // An older file keeps no wider access than a new one.
  ::fchmod(fd, 0600);
  bool written = write_all(fd, text);
  if (::close(fd) != 0) written = false;
  if (!written) tk_trace(2, "Cannot write profile %s", path.c_str());
  return written;
}

bool udb_profile::load(const std::wstring& file_name) {
  tk_wtrace(2, L"udb_profile::load(%s)", file_name.c_str());
  std::string path;
  // A name the code page cannot hold would name another file.
  if (!tk_to_ansi_exact(file_name, path)) return false;
  std::ifstream in;
  if (tk_is_file_exist(path.c_str())) in.open(path, std::ios::binary);
  if (!in.is_open())
    throw tk_exception(std::string("Profile does not exist. Please verify the correct path/name was given."), 1);

  section* current = nullptr;
  std::string raw;
  for (bool first = true; std::getline(in, raw); first = false) {
    // A UTF-8 byte-order mark that an editor put in front is no part of the text.
    if (first && raw.starts_with("\xEF\xBB\xBF")) raw.erase(0, 3);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::wstring line = tk_trim(tk_from_utf8(raw));
    if (line.empty()) continue;
    if (line.front() == L'[' && line.back() == L']' && line.size() >= 2) {
      current = &sections_[line.substr(1, line.size() - 2)];
      continue;
    }
    if (current == nullptr) return false;
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos)
      current->emplace(line, std::wstring());
    else
      current->emplace(tk_trim(line.substr(0, eq)), line.substr(eq + 1));
  }
  return !in.bad();
}
