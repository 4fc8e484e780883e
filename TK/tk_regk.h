// A registry key with typed reads and writes of its values, and exchange
// operations that load settings (defaults stay where nothing is stored) and
// save them with one list of calls.
//
// Results are the registry's: ERROR_SUCCESS (0), ERROR_FILE_NOT_FOUND (2) for a
// missing value, ERROR_MORE_DATA (234) for a buffer that is too small, ...
// Texts are narrow in the system's ANSI code page or wide; sizes are in bytes
// including the terminator (sizeof(wchar_t) per wide character).
#pragma once

#include <string>

#include "platform/kernel/registry.h"

class tk_reg_key {
 public:
  explicit tk_reg_key(const std::string& sub_key_path = std::string());
  ~tk_reg_key();
  tk_reg_key(const tk_reg_key&) = delete;
  tk_reg_key& operator=(const tk_reg_key&) = delete;

  // Creates or opens the sub-key of the parent (HKEY_CURRENT_USER, ...); on
  // success the key held before is closed and the new one kept. A null parent
  // is an internal error.
  LONG create(HKEY parent, const std::string& sub_key, DWORD* disposition = nullptr);
  void close();
  bool is_open() const { return key_ != nullptr; }
  const std::string& get_path() const { return path_; }

  LONG get_value(DWORD& value, const char* name);
  // A null buffer asks for the size only.
  LONG get_value(char* buffer, const char* name, DWORD* size);
  LONG get_value(wchar_t* buffer, const char* name, DWORD* size);

  LONG set_value(DWORD value, const char* name);
  LONG set_value(const char* text, const char* name);
  LONG set_value(const wchar_t* text, const char* name);

  // With store they write the value and return whether that succeeded;
  // without it they read it, leaving it unchanged when nothing is stored.
  // False when no key is open.
  bool exchange_dword(const char* name, DWORD& value, bool store);
  bool exchange_bool(const char* name, bool& value, bool store);
  bool exchange_string(const char* name, std::string& value, bool store);
  bool exchange_wstring(const char* name, std::wstring& value, bool store);

 private:
  HKEY key_ = nullptr;
  std::string path_;
};
