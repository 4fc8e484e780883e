#include "TK/tk_regk.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

// Copies a terminated text into the caller's buffer by the registry's rules.
template <class C>
LONG copy_text(const std::basic_string<C>& text, C* buffer, DWORD* size) {
  auto needed = static_cast<DWORD>((text.size() + 1) * sizeof(C));
  DWORD room = *size;
  *size = needed;
  if (!buffer) return ERROR_SUCCESS;
  if (room < needed) return static_cast<LONG>(ERROR_MORE_DATA);
  std::memcpy(buffer, text.c_str(), needed);
  return ERROR_SUCCESS;
}

bool is_text(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

}  // namespace

tk_reg_key::tk_reg_key(const std::string& sub_key_path) : path_(sub_key_path) {}

tk_reg_key::~tk_reg_key() { close(); }

LONG tk_reg_key::create(HKEY parent, const std::string& sub_key, DWORD* disposition) {
  if (!parent) throw tk_mail_assertion("tk_regk", 64);
  HKEY key = nullptr;
  LONG rc = kernel::reg_create_key(parent, sub_key, &key, disposition);
  if (rc == ERROR_SUCCESS) {
    close();
    key_ = key;
  }
  return rc;
}

void tk_reg_key::close() {
  if (key_) {
    kernel::reg_close_key(key_);
    key_ = nullptr;
  }
}

LONG tk_reg_key::get_value(DWORD& value, const char* name) {
  if (!name) throw tk_mail_assertion("tk_regk", 98);
  tk_trace(2, "tk_reg_key::get_value(ulong, %s)", name);
  kernel::registry_value v;
  LONG rc = kernel::reg_query_value(key_, name, v);
  if (rc != ERROR_SUCCESS) return rc;
  tk_trace(1, "type=%d, size=%d", static_cast<int>(v.type), 4);
  // Another type's bytes are no number.
  if (v.type != REG_DWORD) return static_cast<LONG>(ERROR_UNSUPPORTED_TYPE);
  value = v.number;
  return ERROR_SUCCESS;
}

LONG tk_reg_key::get_value(char* buffer, const char* name, DWORD* size) {
  if (!size) throw tk_mail_assertion("tk_regk", 115);
  if (!name) throw tk_mail_assertion("tk_regk", 116);
  tk_trace(2, "tk_reg_key::get_value(LPSTR, %s)", name);
  kernel::registry_value v;
  LONG rc = kernel::reg_query_value(key_, name, v);
  if (rc != ERROR_SUCCESS) return rc;
  if (!is_text(v.type)) return static_cast<LONG>(ERROR_UNSUPPORTED_TYPE);
  return copy_text(tk_to_ansi(v.text), buffer, size);
}

LONG tk_reg_key::get_value(wchar_t* buffer, const char* name, DWORD* size) {
  if (!size) throw tk_mail_assertion("tk_regk", 132);
  if (!name) throw tk_mail_assertion("tk_regk", 133);
  tk_trace(2, "tk_reg_key::get_value(LPWSTR, %s)", name);
  kernel::registry_value v;
  LONG rc = kernel::reg_query_value(key_, name, v);
  if (rc != ERROR_SUCCESS) return rc;
  if (!is_text(v.type)) return static_cast<LONG>(ERROR_UNSUPPORTED_TYPE);
  return copy_text(v.text, buffer, size);
}

LONG tk_reg_key::set_value(DWORD value, const char* name) {
  if (!key_) throw tk_mail_assertion("tk_regk", 149);
  kernel::registry_value v;
  v.type = REG_DWORD;
  v.number = value;
  return kernel::reg_set_value(key_, name ? name : "", v);
}

LONG tk_reg_key::set_value(const char* text, const char* name) {
  if (!text) throw tk_mail_assertion("tk_regk", 156);
  if (!key_) throw tk_mail_assertion("tk_regk", 157);
  kernel::registry_value v;
  v.type = REG_SZ;
  v.text = tk_from_ansi(std::string_view(text));
  return kernel::reg_set_value(key_, name ? name : "", v);
}

LONG tk_reg_key::set_value(const wchar_t* text, const char* name) {
  if (!text) throw tk_mail_assertion("tk_regk", 164);
  if (!key_) throw tk_mail_assertion("tk_regk", 165);
  kernel::registry_value v;
  v.type = REG_SZ;
  v.text = text;
  return kernel::reg_set_value(key_, name ? name : "", v);
}

bool tk_reg_key::exchange_dword(const char* name, DWORD& value, bool store) {
  if (!key_) return false;
  if (store) return set_value(value, name) == ERROR_SUCCESS;
  DWORD read = 0;
  if (get_value(read, name) != ERROR_SUCCESS) return false;
  value = read;
  return true;
}

bool tk_reg_key::exchange_bool(const char* name, bool& value, bool store) {
  DWORD number = value ? 1 : 0;
  if (!exchange_dword(name, number, store)) return false;
  value = number != 0;
  return true;
}

namespace {

// Reads a text value: size first, then the text; unchanged when missing or empty.
template <class C>
bool read_text(tk_reg_key& key, const char* name, std::basic_string<C>& value) {
  DWORD size = 0;
  if (key.get_value(static_cast<C*>(nullptr), name, &size) != ERROR_SUCCESS || size <= sizeof(C)) return false;
  std::vector<C> buffer(size / sizeof(C) + 1);
  DWORD room = static_cast<DWORD>(buffer.size() * sizeof(C));
  if (key.get_value(buffer.data(), name, &room) != ERROR_SUCCESS) return false;
  buffer.back() = C(0);
  value = buffer.data();
  return true;
}

}  // namespace

bool tk_reg_key::exchange_string(const char* name, std::string& value, bool store) {
  if (!key_) return false;
  if (store) return set_value(value.c_str(), name) == ERROR_SUCCESS;
  return read_text(*this, name, value);
}

bool tk_reg_key::exchange_wstring(const char* name, std::wstring& value, bool store) {
  if (!key_) return false;
  if (store) return set_value(value.c_str(), name) == ERROR_SUCCESS;
  return read_text(*this, name, value);
}
