#include "platform/kernel/path.h"

#include <cerrno>
#include <climits>
#include <unistd.h>

#include <vector>

#include "platform/kernel/last_error.h"

namespace kernel {
namespace {

template <class C>
path_parts<C> split(std::basic_string_view<C> path) {
  path_parts<C> p;
  std::size_t name_at = 0;
  for (std::size_t i = path.size(); i > 0; --i)
    if (is_separator(path[i - 1])) {
      name_at = i;
      break;
    }
  p.dir.assign(path.substr(0, name_at));
  std::basic_string_view<C> name = path.substr(name_at);
  std::size_t dot = name.rfind(C('.'));
  if (dot == std::basic_string_view<C>::npos) {
    p.fname.assign(name);
  } else {
    p.fname.assign(name.substr(0, dot));
    p.ext.assign(name.substr(dot));
  }
  return p;
}

}  // namespace

std::optional<std::string> module_path() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) {
      set_last_error_from_errno(errno);
      return std::nullopt;
    }
    if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

path_parts<char> split_path(std::string_view path) { return split(path); }
path_parts<wchar_t> split_path(std::wstring_view path) { return split(path); }

bool is_absolute_path(std::string_view path) { return !path.empty() && is_separator(path[0]); }
bool is_absolute_path(std::wstring_view path) { return !path.empty() && is_separator(path[0]); }

std::optional<std::string> current_directory() {
  std::vector<char> buf(PATH_MAX);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) {
      set_last_error_from_errno(errno);
      return std::nullopt;
    }
    buf.resize(buf.size() * 2);
  }
  return std::string(buf.data());
}

bool set_current_directory(const std::string& dir) {
  if (chdir(dir.c_str()) != 0) {
    set_last_error_from_errno(errno);
    return false;
  }
  return true;
}

std::optional<std::string> full_path(std::string_view path) {
  std::string joined;
  if (!is_absolute_path(path)) {
    auto cwd = current_directory();
    if (!cwd) return std::nullopt;
    joined = *cwd + '/';
  }
  joined.append(path);
  std::vector<std::string> parts;
  std::string piece;
  bool trailing = !joined.empty() && is_separator(joined.back());
  auto flush = [&] {
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    piece.clear();
  };
  for (char c : joined) {
    if (is_separator(c))
      flush();
    else
      piece += c;
  }
  flush();
  std::string out;
  for (const auto& p : parts) out += '/' + p;
  if (out.empty() || trailing) out += '/';
  return out;
}

}  // namespace kernel
