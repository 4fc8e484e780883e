// The user-interface thread: starting the toolkit, and carrying calls from worker
// threads to the user-interface thread.
//
// The thread that calls `start` becomes the user-interface thread; every window is
// made and used there. A worker thread that needs the user interface (an error dialog,
// a message box, the progress timer) goes through `call_on_ui`, which queues the call,
// waits until the user-interface thread has run it and hands back its result or its
// exception. The user-interface thread serves those calls whenever it runs an event
// loop: inside every modal dialog and the wizard sheet, and in `pump`/`pump_until`.
#pragma once

#include <exception>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <type_traits>

namespace gui {

// Starts the toolkit on the calling thread. Returns false when no display can be
// opened; start_error then tells the toolkit's reason. Safe to call again once started.
bool start(int argc = 0, char** argv = nullptr);
// Why the last start failed ("Unable to initialize GTK+, is DISPLAY set properly?
// (DISPLAY is not set)"); empty after a start that succeeded.
std::string start_error();
// Shuts the toolkit down; pending calls from workers fail with an exception.
void stop();
bool started();
bool on_ui_thread();

// The version of the common controls as the wizard asks for it: 5.80 (0x50050) once
// the toolkit has started, 0 before (no display, no controls).
unsigned common_controls_version();

// Runs fn on the user-interface thread and waits for it. On that thread it runs at once.
void run_on_ui(const std::function<void()>& fn);

template <class F>
auto call_on_ui(F&& fn) -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  if constexpr (std::is_void_v<R>) {
    run_on_ui([&] { fn(); });
  } else {
    std::optional<R> result;
    run_on_ui([&] { result.emplace(fn()); });
    return std::move(*result);
  }
}

// Queues fn to run later on the user-interface thread, in order, without waiting.
void post_to_ui(std::function<void()> fn);

// Serves the user-interface thread's events and queued calls once (ms = 0) or for ms
// milliseconds.
void pump(int ms = 0);
// Serves events until done() is true or timeout_ms has passed; returns done().
bool pump_until(const std::function<bool()>& done, int timeout_ms);

}  // namespace gui
