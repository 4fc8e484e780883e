// Versions of the platform components that the programs check at start-up
// (the common controls), from a table that the GUI layer fills once its
// toolkit has started.
#pragma once

#include <optional>
#include <string_view>

#include "platform/kernel/kernel_types.h"

namespace kernel {

// Records a component's version under its library name (e.g. L"comctl32.dll").
void register_dll_version(std::wstring_view dll_name, WORD major, WORD minor);
void unregister_dll_version(std::wstring_view dll_name);

// Major version in the high word, minor in the low word; nothing when the
// component is not there. Names compare without regard to ASCII case.
std::optional<DWORD> dll_version(std::wstring_view dll_name);

}  // namespace kernel
