#include "platform/kernel/dll_version.h"

#include <map>
#include <mutex>
#include <string>

namespace kernel {
namespace {

std::wstring key_of(std::wstring_view name) {
  std::wstring key(name);
  for (auto& c : key)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  return key;
}

struct version_table {
  std::mutex lock;
  std::map<std::wstring, DWORD> versions;
};

version_table& table() {
  static version_table t;
  return t;
}

}  // namespace

void register_dll_version(std::wstring_view dll_name, WORD major, WORD minor) {
  std::lock_guard<std::mutex> g(table().lock);
  table().versions[key_of(dll_name)] = (static_cast<DWORD>(major) << 16) | minor;
}

void unregister_dll_version(std::wstring_view dll_name) {
  std::lock_guard<std::mutex> g(table().lock);
  table().versions.erase(key_of(dll_name));
}

std::optional<DWORD> dll_version(std::wstring_view dll_name) {
  std::lock_guard<std::mutex> g(table().lock);
  auto it = table().versions.find(key_of(dll_name));
  if (it == table().versions.end()) return std::nullopt;
  return it->second;
}

}  // namespace kernel
