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

// A line break inside a key or a value would split the entry into lines of
// their own, so it is written as a blank.
std::wstring one_line(std::wstring text) {
  for (auto& c : text)
    if (c == L'\r' || c == L'\n') c = L' ';
  return text;
}

// A worksheet key of "Selected Tables" is written alone on its line, so a '='
// in it would read back as a query named by the text before it. Such a key is
// written with \x3D for each '=' and \\ for each backslash: no worksheet name
// holds a backslash, so no key line written otherwise has one. Other keys are
// written as they are.
const std::wstring escaped_equals = L"\\x3D";

std::wstring escaped_sheet_key(const std::wstring& key) {
  if (key.find(L'=') == std::wstring::npos && key.find(escaped_equals) == std::wstring::npos) return key;
  std::wstring out;
  for (wchar_t c : key) {
    if (c == L'=')
      out += escaped_equals;
    else if (c == L'\\')
      out += L"\\\\";
    else
      out += c;
  }
  return out;
}

std::wstring unescaped_sheet_key(const std::wstring& key) {
  if (key.find(escaped_equals) == std::wstring::npos) return key;
  std::wstring out;
  for (size_t i = 0; i < key.size(); ++i) {
    if (key.compare(i, escaped_equals.size(), escaped_equals) == 0) {
      out += L'=';
      i += escaped_equals.size() - 1;
    } else if (key[i] == L'\\' && i + 1 < key.size() && key[i + 1] == L'\\') {
      out += L'\\';
      ++i;
    } else {
      out += key[i];
    }
  }
  return out;
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
      if (key_alone && value.empty()) {
        text += tk_to_utf8(escaped_sheet_key(one_line(key))) + "\r\n";
        continue;
      }
      line = one_line(key) + L"=" + one_line(value);
      text += tk_to_utf8(line) + "\r\n";
    }
    text += "\r\n";
  }

  // A new file beside the old one, renamed over it once it is complete: a
  // write that fails leaves the old profile as it was.
  std::string temp = path + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    tk_trace(2, "Cannot create profile %s", path.c_str());
    return false;
  }
  ::fchmod(fd, 0600);
  bool written = write_all(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0) written = false;
  if (written && ::rename(temp.c_str(), path.c_str()) != 0) written = false;
  if (!written) {
    ::unlink(temp.c_str());
    tk_trace(2, "Cannot write profile %s", path.c_str());
  }
  return written;
}

bool udb_profile::load(const std::wstring& file_name) {
  tk_wtrace(2, L"udb_profile::load(%s)", file_name.c_str());
  failed_line_ = 0;
  file_name_ = file_name;
  std::string path;
  // A name the code page cannot hold would name another file.
  if (!tk_to_ansi_exact(file_name, path)) return false;
  std::ifstream in;
  if (tk_is_file_exist(path.c_str())) in.open(path, std::ios::binary);
  if (!in.is_open())
    throw tk_exception(std::string("Profile does not exist. Please verify the correct path/name was given."), 1);

  section* current = nullptr;
  const section* selected = &sections_[selected_tables_section];
  std::string raw;
  int number = 0;
  for (bool first = true; std::getline(in, raw); first = false) {
    ++number;
    // A UTF-8 byte-order mark that an editor put in front is no part of the text.
    if (first && raw.starts_with("\xEF\xBB\xBF")) raw.erase(0, 3);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::wstring line = tk_trim(tk_from_utf8(raw));
    if (line.empty()) continue;
    if (line.front() == L'[' && line.back() == L']' && line.size() >= 2) {
      current = &sections_[line.substr(1, line.size() - 2)];
      continue;
    }
    if (current == nullptr) {
      tk_trace(2, "Line %d of the profile comes before the first section", number);
      failed_line_ = number;
      return false;
    }
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos)
      current->emplace(current == selected ? unescaped_sheet_key(line) : line, std::wstring());
    else
      current->emplace(tk_trim(line.substr(0, eq)), line.substr(eq + 1));
  }
  return !in.bad();
}
