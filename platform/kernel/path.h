// The running program's path, and file paths split into their parts.
//
// There are no drives here: the drive part is always empty, and a path "has a
// drive" when it is absolute. Both '/' and '\' separate folders, since names
// come from files written elsewhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kernel {

// The full path of the running program (from /proc/self/exe); nothing when
// the system cannot tell.
std::optional<std::string> module_path();

template <class C>
struct path_parts {
  std::basic_string<C> drive;  // always empty
  std::basic_string<C> dir;    // with its trailing separator
  std::basic_string<C> fname;
  std::basic_string<C> ext;    // with its leading '.'
};

path_parts<char> split_path(std::string_view path);
path_parts<wchar_t> split_path(std::wstring_view path);

template <class C>
bool is_separator(C c) {
  return c == C('/') || c == C('\\');
}

// True when the path is absolute (this system's meaning of "has a drive").
bool is_absolute_path(std::string_view path);
bool is_absolute_path(std::wstring_view path);

// The absolute form of a path, relative to the working directory, with "." and
// ".." resolved by name (links are not followed) and '\' turned into '/'.
// Nothing when the working directory cannot be read.
std::optional<std::string> full_path(std::string_view path);

// The working directory; nothing when it cannot be read.
std::optional<std::string> current_directory();
// False (last error set) when the process cannot change to the folder.
bool set_current_directory(const std::string& dir);

}  // namespace kernel
