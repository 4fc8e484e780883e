// Settings profile: named sections of key-value pairs, stored as a UTF-8 text
// file of "[section]" lines and "key=value" lines (CR LF line ends), each section
// followed by an empty line.
#pragma once

#include <map>
#include <string>

#include "TK/tk_excep.h"

// A profile file that exists but whose settings cannot be taken (an entry
// before the first section, a mode that is no digit 0 to 3): a level-1 error,
// raised before any setting is changed.
class profile_error : public tk_exception {
public:
  explicit profile_error(const std::wstring& text) : tk_exception(text, 1) {}
};

class udb_profile {
public:
  using section = std::map<std::wstring, std::wstring>;
  using sections = std::map<std::wstring, section>;

  static constexpr const wchar_t* available_queries_section = L"Available Queries";
  static constexpr const wchar_t* selected_tables_section = L"Selected Tables";
  static constexpr const wchar_t* generic_section = L"Generic settings";

  // Starts with the three common sections, empty.
  udb_profile();

  // Writes the profile to a new file (owner-only access, since a profile may
  // hold a password) and renames it over the old one, which a failed write
  // leaves as it was. A worksheet key holding '=' is written with \x3D for it.
  // True when the whole file was written.
  bool store(const std::wstring& file_name) const;
  // Reads the file into the profile: sections are continued, existing keys keep
  // their values. Throws a level-1 tk_exception when the file does not exist or
  // cannot be read; false when an entry comes before the first section line (a
  // UTF-16 or binary file stops there too): failed_line() then tells which.
  bool load(const std::wstring& file_name);
  // The line (from 1) at which the last load stopped early; 0 when it did not
  // stop at a line (it read to the end, or the file could not be read at all).
  int failed_line() const { return failed_line_; }
  // The file the profile was last loaded from; empty for one never loaded.
  const std::wstring& file_name() const { return file_name_; }

  // The value, or an empty string when the section or the key is absent.
  std::wstring get_value(const std::wstring& section_name, const std::wstring& key) const;
  // Adds the entry (and the section when absent); an existing entry keeps its value.
  void set_value(const std::wstring& section_name, const std::wstring& key, const std::wstring& value);
  void add_section(const std::wstring& name);

  const section& get_available_queries() const;
  const section& get_selected_tables() const;
  const sections& get_sections() const { return sections_; }

  // Profiles are equal by their sections.
  bool operator==(const udb_profile& other) const { return sections_ == other.sections_; }

private:
  const section& get_section(const wchar_t* name) const;

  sections sections_;
  int failed_line_ = 0;
  std::wstring file_name_;
};
