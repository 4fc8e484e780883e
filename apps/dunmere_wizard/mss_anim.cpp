#include "apps/dunmere_wizard/mss_anim.h"

#include "GUI2/g_wait.h"
#include "MSS/odb_exce.h"
#include "TK/tk_errco.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/com/com_runtime.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_dialog.h"

#include <algorithm>
#include <chrono>
#include <mutex>

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

// What the user-interface thread and the worker of one attempt share.
struct animation::attempt {
  std::mutex lock;
  gui::dialog* dlg = nullptr;  // while the dialog object lives
  bool finished = false;       // the worker has ended
  bool done = false;           // connected
  outcome failure = outcome::failed;
  bool internal = false;  // the failure was an internal assertion
  std::wstring message;
};

namespace {

class attempt_runner : public tk_runnable {
 public:
  attempt_runner(animation& owner, std::shared_ptr<animation::attempt> a) : owner_(owner), attempt_(std::move(a)) {}
  void run() override { owner_(*attempt_); }

 private:
  animation& owner_;
  std::shared_ptr<animation::attempt> attempt_;
};

// The provider's failure as the user reads it.
std::wstring odb_message(const odb_exception& e) {
  if ((e.get_code() & 0xFFFF) == 0x4005)
    return L"MS SQL Server does not exist or access denied.\nCheck to verify the correct host was given.";
  const tk_error_converter table(odb_error_messages_count, odb_error_messages);
  const std::string text = table.convert(e.get_code());
  return tk_from_ansi(text.empty() ? std::string(e.what()) : text);
}

}  // namespace

tk_runnable* animation::worker_thread::create_runnable() {
  owns_runnable_ = true;
  return new attempt_runner(owner_, current);
}

animation::animation(std::function<void()> connect) : connect_(std::move(connect)), worker_(*this) {}

animation::~animation() { stop(); }

void animation::stop() {
  if (gui::started() && gui::on_ui_thread())
    wizard_stop_thread(worker_);
  else
    worker_.terminate();
}

void animation::operator()(attempt& a) {
  tk_trace(2, "settings_page::animation::operator()");
  CoInitialize(nullptr);
  bool done = false, internal = false;
  outcome failure = outcome::failed;
  std::wstring message;
  try {
    connect_();
    done = true;
  } catch (const odb_exception& e) {
    message = odb_message(e);
  } catch (const tk_mail_assertion& e) {
    failure = outcome::fatal;
    message = tk_from_ansi(std::string(e.what()));
    internal = true;
  } catch (const std::exception& e) {
    failure = outcome::fatal;
    message = tk_from_ansi(std::string(e.what()));
  }
  CoUninitialize();
  std::lock_guard guard(a.lock);
  a.done = done;
  a.failure = failure;
  a.internal = internal;
  a.message = std::move(message);
  a.finished = true;
  if (a.dlg) a.dlg->end(ended_by_worker);
}

animation::outcome animation::run(gui::hwnd owner, int limit_seconds) {
  // An attempt that outlasted its limit is over before the next one starts.
  if (worker_.is_running()) stop();
  worker_.cleanup();
  message_.clear();
  internal_error_ = false;
  auto a = std::make_shared<attempt>();
  worker_.current = a;
  try {
    worker_.start();
  } catch (const tk_exception& e) {
    worker_.current.reset();
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
    // Ended by the worker already: the dialog returns at once.
    if (a->dlg) {
      code = dlg.run_modal(owner);
      std::lock_guard guard(a->lock);
      a->dlg = nullptr;
    }
  }
  // A dialog closed otherwise (a test script answering it) still waits for the
  // worker within the limit.
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
    worker_.get_runnable()->request_stop();
    tk_trace(1, "settings_page::animation: no answer within %d seconds", limit_seconds);
    message_ = tk_wformat(
        L"MS SQL Server did not answer within %d seconds.\nCheck to verify the correct host was given.",
        limit_seconds);
    return outcome::timed_out;
  }
  if (a->done) return outcome::connected;
  message_ = a->message;
  internal_error_ = a->internal;
  return a->failure;
}

}  // namespace settings_page
