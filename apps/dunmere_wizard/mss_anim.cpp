#include "apps/dunmere_wizard/mss_anim.h"

#include "MSS/odb_exce.h"
#include "TK/tk_errco.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/com/com_runtime.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_dialog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace settings_page {

namespace {

constexpr int first_icon = 502;
constexpr int frames = 8;

// The end codes of dialog 101: the worker ended it, or the time limit did.
constexpr int ended_by_worker = 0;
constexpr int ended_by_limit = 3;

// Dialog 101: the animated icon and "Connecting to MS SQL server. Please wait...".
class connecting_dialog : public gui::dialog {
 public:
  explicit connecting_dialog(int limit_ms) : dialog(101, gui::resource_set::dunmere), limit_ms_(limit_ms) {}

 protected:
  void on_init() override {
    controls().set_image(1301, first_icon);
    start_timer(animation::animation_timer, animation::period_ms);
    start_timer(animation::limit_timer, limit_ms_);
    centre();
    raise();
  }
  void on_timer(int id) override {
    if (id == animation::limit_timer) {
      end(ended_by_limit);
      return;
    }
    frame_ = (frame_ + 1) % frames;
    controls().set_image(1301, first_icon + frame_);
  }
  // No buttons: Esc and the close box do not end the attempt.
  void on_command(int, int) override {}

 private:
  int limit_ms_;
  int frame_ = 0;
};

}  // namespace

// What the user-interface thread and the thread of one attempt share; each owns it.
struct animation::attempt {
  std::mutex lock;
  gui::dialog* dlg = nullptr;  // while the dialog object lives
  bool finished = false;       // the attempt has ended
  bool done = false;           // connected
  mss_connection connection;   // what it established, when done
  outcome failure = outcome::failed;
  bool internal = false;  // the failure was an internal assertion
  std::wstring message;
};

namespace {

// Attempt threads that have not ended.
std::atomic<int> running{0};

// The provider's failure as the user reads it.
std::wstring odb_message(const odb_exception& e) {
  if ((e.get_code() & 0xFFFF) == 0x4005)
    return L"MS SQL Server does not exist or access denied.\nCheck to verify the correct host was given.";
  const tk_error_converter table(odb_error_messages_count, odb_error_messages);
  const std::string text = table.convert(e.get_code());
  return tk_from_ansi(text.empty() ? std::string(e.what()) : text);
}

// The body of an attempt's thread: it logs in, hands the result to the attempt's
// shared state and ends the dialog when one shows. It uses nothing of the page.
void work(std::shared_ptr<animation::attempt> a, animation::login connect) {
  tk_trace(2, "settings_page::animation::operator()");
  CoInitialize(nullptr);
  bool done = false, internal = false;
  animation::outcome failure = animation::outcome::failed;
  mss_connection made;
  std::wstring message;
  try {
    made = connect();
    done = true;
  } catch (const odb_exception& e) {
    message = odb_message(e);
  } catch (const tk_mail_assertion& e) {
    failure = animation::outcome::fatal;
    message = tk_from_ansi(std::string(e.what()));
    internal = true;
  } catch (const std::exception& e) {
    failure = animation::outcome::fatal;
    message = tk_from_ansi(std::string(e.what()));
  }
  connect = nullptr;
  CoUninitialize();
  {
    std::lock_guard guard(a->lock);
    a->done = done;
    a->connection = std::move(made);
    a->failure = failure;
    a->internal = internal;
    a->message = std::move(message);
    a->finished = true;
    if (a->dlg) a->dlg->end(ended_by_worker);
  }
  a.reset();
  --running;
}

}  // namespace

int animation::workers_running() { return running.load(); }

bool animation::wait_workers(int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (running.load() > 0) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool animation::is_running() const {
  if (!last_) return false;
  std::lock_guard guard(last_->lock);
  return !last_->finished;
}

animation::outcome animation::run(gui::hwnd owner, login connect, int limit_seconds) {
  message_.clear();
  internal_error_ = false;
  auto a = std::make_shared<attempt>();
  last_ = a;
  ++running;
  try {
    std::thread(work, a, std::move(connect)).detach();
  } catch (const std::exception& e) {
    --running;
    last_.reset();
    message_ = tk_from_ansi(std::string(e.what()));
    return outcome::not_started;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_seconds);
  int code = ended_by_worker;
  {
    connecting_dialog dlg(limit_seconds * 1000);
    {
      std::lock_guard guard(a->lock);
      if (!a->finished) a->dlg = &dlg;
    }
    // Ended already: no dialog.
    if (a->dlg) {
      code = dlg.run_modal(owner);
      std::lock_guard guard(a->lock);
      a->dlg = nullptr;
    }
  }
  // A dialog closed otherwise (a test script answering it) still waits for the
  // attempt within the limit.
  if (code != ended_by_limit) {
    gui::pump_until(
        [&] {
          std::lock_guard guard(a->lock);
          return a->finished;
        },
        static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                   .count())));
  }
  std::lock_guard guard(a->lock);
  if (!a->finished) {
    tk_trace(1, "settings_page::animation: no answer within %d seconds, the attempt is abandoned", limit_seconds);
    message_ = tk_wformat(
        L"MS SQL Server did not answer within %d seconds.\nCheck to verify the correct host was given.",
        limit_seconds);
    return outcome::timed_out;
  }
  if (a->done) {
    connection_ = a->connection;
    return outcome::connected;
  }
  message_ = a->message;
  internal_error_ = a->internal;
  return a->failure;
}

}  // namespace settings_page
