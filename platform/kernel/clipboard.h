// The clipboard, behind a seam: the GUI layer installs the writer of the real
// clipboard once its toolkit runs. Until then (and in tests) the text is held
// in memory.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kernel {

// Puts the text on the clipboard; false when the clipboard cannot be opened
// (the writer may set the last error).
using clipboard_writer = std::function<bool(const std::wstring& text)>;

// Installs a writer; an empty one returns to the in-memory clipboard.
void set_clipboard_writer(clipboard_writer writer);

// False, with the last error set, when the clipboard cannot be opened.
bool set_clipboard_text(const std::wstring& text);

// The text of the in-memory clipboard, if any was set.
std::optional<std::wstring> memory_clipboard_text();

}  // namespace kernel
