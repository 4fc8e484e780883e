// The connecting dialog of the SQL Server connection page: one connection attempt
// on a worker thread while dialog 101 ("Connecting to MS SQL server. Please
// wait...") animates its icon. The dialog has no buttons; it closes when the
// worker ends, or when the attempt has outlasted its time limit.
#pragma once

#include "TK/tk_threa.h"
#include "platform/gui/gui_types.h"

#include <functional>
#include <memory>
#include <string>

namespace settings_page {

class animation {
 public:
  // What one attempt came to.
  enum class outcome {
    connected,    // the connection was made
    failed,       // the server refused or could not be reached: message says why
    timed_out,    // no answer within the time limit; the worker was asked to stop
    fatal,        // an internal error (message); the program cannot go on
    not_started,  // the worker thread could not be made (message)
  };

  // connect: the connection itself, run on the worker thread (it may throw).
  explicit animation(std::function<void()> connect);
  // A worker still running is asked to stop and waited for, never killed.
  ~animation();
  animation(const animation&) = delete;
  animation& operator=(const animation&) = delete;

  // Runs one attempt with the dialog owned by owner. limit_seconds bounds the
  // wait: a worker that has not ended by then is left to end on its own (asked to
  // stop, waited for by the next attempt and at the end) and timed_out is the
  // result. A worker still running from an earlier attempt is waited for first.
  outcome run(gui::hwnd owner, int limit_seconds);
  // The text for the user of the last attempt that did not connect.
  const std::wstring& message() const { return message_; }
  // Whether the last attempt's failure was an internal assertion.
  bool internal_error() const { return internal_error_; }

  // Whether a worker has not ended yet.
  bool is_running() const { return worker_.is_running(); }
  // Asks a running worker to stop and waits for it.
  void stop();

  // The worker body: connects and ends the dialog.
  struct attempt;
  void operator()(attempt& a);

  static constexpr int animation_timer = 0x30000;
  static constexpr int limit_timer = 0x30001;
  static constexpr int period_ms = 500;

 private:
  class worker_thread : public tk_thread {
   public:
    explicit worker_thread(animation& owner) : owner_(owner) {}
    tk_runnable* create_runnable() override;
    std::shared_ptr<attempt> current;

   private:
    animation& owner_;
  };

  std::function<void()> connect_;
  worker_thread worker_;
  std::wstring message_;
  bool internal_error_ = false;
};

}  // namespace settings_page
