// The connecting dialog of the SQL Server connection page: one connection attempt
// on a thread of its own while dialog 101 ("Connecting to MS SQL server. Please
// wait...") animates its icon. The dialog has no buttons; it closes when the
// attempt ends, or when the attempt has outlasted its time limit.
//
// An attempt that outlasts its limit is abandoned: its thread is left to finish on
// its own with its own copies of what it needs, its result is dropped, and neither
// the next attempt nor the program's end waits for it (see workers_running).
#pragma once

#include "MSS/mss_engi.h"
#include "platform/gui/gui_types.h"

#include <functional>
#include <memory>
#include <string>

namespace settings_page {

class animation {
 public:
  // What one attempt came to.
  enum class outcome {
    connected,    // the connection was made: connection() tells what it established
    failed,       // the server refused or could not be reached: message says why
    timed_out,    // no answer within the time limit; the attempt was abandoned
    fatal,        // an internal error (message); the program cannot go on
    not_started,  // the thread could not be made (message)
  };

  // The login of one attempt, run on the attempt's own thread (it may throw). It
  // must own everything it uses: an abandoned attempt outlives its caller.
  using login = std::function<mss_connection()>;

  animation() = default;
  // An abandoned attempt still running is not waited for.
  ~animation() = default;
  animation(const animation&) = delete;
  animation& operator=(const animation&) = delete;

  // Runs one attempt with the dialog owned by owner. The wait ends with the attempt
  // or after limit_seconds; an attempt that has not ended by then is abandoned and
  // timed_out is the result. Only this attempt's result counts.
  outcome run(gui::hwnd owner, login connect, int limit_seconds);
  // What the last attempt that connected established (for the engine's adopt).
  const mss_connection& connection() const { return connection_; }
  // The text for the user of the last attempt that did not connect.
  const std::wstring& message() const { return message_; }
  // Whether the last attempt's failure was an internal assertion.
  bool internal_error() const { return internal_error_; }
  // Whether the last attempt has not ended yet (it was abandoned).
  bool is_running() const;

  // Attempt threads of the process that have not ended: those abandoned once no
  // attempt runs. A process that ends while one runs must end without running the
  // destructors of what it may still use.
  static int workers_running();
  // Waits up to timeout_ms for every attempt thread to end; whether they did.
  static bool wait_workers(int timeout_ms);

  // What the user-interface thread and the thread of one attempt share.
  struct attempt;

  static constexpr int animation_timer = 0x30000;
  static constexpr int limit_timer = 0x30001;
  static constexpr int period_ms = 500;

 private:
  std::shared_ptr<attempt> last_;
  mss_connection connection_;
  std::wstring message_;
  bool internal_error_ = false;
};

}  // namespace settings_page
