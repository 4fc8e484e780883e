// The registry: keys holding typed values, kept in a file under the user's
// configuration folder ($XDG_CONFIG_HOME, default ~/.config, then
// "veltrask/registry.reg"). Each change rewrites the file atomically (a
// temporary file, then rename) with access for the owner only, since values
// may hold passwords as typed. Key and value names compare without regard to
// ASCII case; "\" separates the names of nested keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/kernel_types.h"

namespace kernel {
struct registry_key;
}
using HKEY = kernel::registry_key*;

extern HKEY const HKEY_CURRENT_USER;
extern HKEY const HKEY_LOCAL_MACHINE;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD ERROR_UNSUPPORTED_TYPE = 1630;

namespace kernel {

struct registry_value {
  DWORD type = REG_NONE;
  std::wstring text;         // REG_SZ, REG_EXPAND_SZ
  DWORD number = 0;          // REG_DWORD
  std::vector<BYTE> bytes;   // every other type
};

// Results are ERROR_SUCCESS or an error number (ERROR_FILE_NOT_FOUND for a
// missing key or value, ERROR_INVALID_HANDLE for a null key, ...).
LONG reg_create_key(HKEY parent, const std::string& sub_key, HKEY* result, DWORD* disposition);
LONG reg_open_key(HKEY parent, const std::string& sub_key, HKEY* result);
LONG reg_close_key(HKEY key);
LONG reg_query_value(HKEY key, const std::string& name, registry_value& value);
LONG reg_set_value(HKEY key, const std::string& name, const registry_value& value);
LONG reg_delete_value(HKEY key, const std::string& name);

// The file that holds the registry; set_registry_file overrides it (nothing
// returns to the configuration folder).
std::string registry_file();
void set_registry_file(std::optional<std::string> path);

}  // namespace kernel
