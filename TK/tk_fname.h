// File names split into drive, folder, name and extension.
//
// There are no drives here: the drive is always empty and a path "has a drive"
// when it is absolute. Both '/' and '\' separate folders.
#pragma once

#include <string>

template <class C>
class tk_file_name_base {
 public:
  using string_type = std::basic_string<C>;

  const string_type& get_ext() const { return ext_; }  // with its leading "."
  const string_type& get_drive() const { return drive_; }
  const string_type& get_fname() const { return fname_; }
  const string_type& get_dir() const { return dir_; }  // with its trailing separator

  // Drive and folder.
  string_type get_folder() const { return drive_ + dir_; }
  // Drive, folder, name and extension joined.
  string_type get_path() const { return drive_ + dir_ + fname_ + ext_; }
  // Sets the extension, adding the leading "." when it lacks one; empty stays empty.
  void set_ext(const string_type& ext);
  void set_fname(const string_type& fname) { fname_ = fname; }

 protected:
  tk_file_name_base() = default;
  void assign(const string_type& path);

  string_type ext_;
  string_type drive_;
  string_type fname_;
  string_type dir_;
};

// A path made absolute and split. A null path is an internal error; an empty
// one takes the program's folder with an empty name.
class tk_file_name : public tk_file_name_base<char> {
 public:
  explicit tk_file_name(const char* path);
  explicit tk_file_name(const std::string& path) : tk_file_name(path.c_str()) {}
};

class tk_file_wname : public tk_file_name_base<wchar_t> {
 public:
  explicit tk_file_wname(const wchar_t* path);
  explicit tk_file_wname(const std::wstring& path) : tk_file_wname(path.c_str()) {}
};

// The file name as it is when keep is set; otherwise the name and extension
// placed in the folder of the reference path when that is absolute, else in
// the program's folder.
std::wstring tk_make_file_wname(const std::wstring& file_name, const std::wstring& ext,
                                const std::wstring& reference_path, bool keep);
