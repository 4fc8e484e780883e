#include "platform/kernel/clipboard.h"

#include <mutex>

#include "platform/kernel/last_error.h"

namespace kernel {
namespace {

struct clipboard_state {
  std::mutex lock;
  clipboard_writer writer;
  std::optional<std::wstring> memory;
};

clipboard_state& state() {
  static clipboard_state s;
  return s;
}

}  // namespace

void set_clipboard_writer(clipboard_writer writer) {
  std::lock_guard<std::mutex> g(state().lock);
  state().writer = std::move(writer);
}

bool set_clipboard_text(const std::wstring& text) {
  clipboard_writer writer;
  {
    std::lock_guard<std::mutex> g(state().lock);
    if (!state().writer) {
      state().memory = text;
      return true;
    }
    writer = state().writer;
  }
  set_last_error(ERROR_SUCCESS);
  if (writer(text)) return true;
  if (get_last_error() == ERROR_SUCCESS) set_last_error(ERROR_ACCESS_DENIED);
  return false;
}

std::optional<std::wstring> memory_clipboard_text() {
  std::lock_guard<std::mutex> g(state().lock);
  return state().memory;
}

}  // namespace kernel
