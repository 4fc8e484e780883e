#include "platform/oleaut/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The block is [byte length][characters][terminating zero]; the BSTR points
// at the first character.
struct bstr_header {
  std::uint64_t byte_len;
};
static_assert(sizeof(bstr_header) % alignof(OLECHAR) == 0);

constexpr UINT max_chars =
    static_cast<UINT>((std::numeric_limits<std::uint32_t>::max() - sizeof(bstr_header)) / sizeof(OLECHAR) - 1);

bstr_header* header_of(BSTR text) {
  return reinterpret_cast<bstr_header*>(reinterpret_cast<char*>(text) - sizeof(bstr_header));
}

BSTR allocate(LPCOLESTR text, UINT len) {
  if (len > max_chars) return nullptr;
  const std::size_t bytes = sizeof(bstr_header) + (static_cast<std::size_t>(len) + 1) * sizeof(OLECHAR);
  void* block = std::malloc(bytes);
  if (!block) return nullptr;
  auto* header = static_cast<bstr_header*>(block);
  header->byte_len = static_cast<std::uint64_t>(len) * sizeof(OLECHAR);
  BSTR chars = reinterpret_cast<BSTR>(header + 1);
  if (text)
    std::memcpy(chars, text, static_cast<std::size_t>(len) * sizeof(OLECHAR));
  else
    std::memset(chars, 0, static_cast<std::size_t>(len) * sizeof(OLECHAR));
  chars[len] = 0;
  return chars;
}

}  // namespace

BSTR SysAllocString(LPCOLESTR text) {
  if (!text) return nullptr;
  const std::size_t len = std::wcslen(text);
  if (len > max_chars) return nullptr;
  return allocate(text, static_cast<UINT>(len));
}

BSTR SysAllocStringLen(LPCOLESTR text, UINT len) { return allocate(text, len); }

bool SysReAllocStringLen(BSTR* target, LPCOLESTR text, UINT len) {
  if (!target) return false;
  BSTR fresh = allocate(text, len);
  if (!fresh) return false;
  SysFreeString(*target);
  *target = fresh;
  return true;
}

void SysFreeString(BSTR text) {
  if (text) std::free(header_of(text));
}

UINT SysStringLen(BSTR text) {
  return text ? static_cast<UINT>(header_of(text)->byte_len / sizeof(OLECHAR)) : 0;
}

UINT SysStringByteLen(BSTR text) { return text ? static_cast<UINT>(header_of(text)->byte_len) : 0; }

BSTR bstr_from(std::wstring_view text) {
  if (text.size() > max_chars) return nullptr;
  return allocate(text.data(), static_cast<UINT>(text.size()));
}

std::wstring bstr_text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }
