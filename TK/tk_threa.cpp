#include "TK/tk_threa.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

void tk_runnable::run() {
  while (!is_done() && !is_stop_requested()) step();
  finish();
}

bool tk_runnable::is_done() { return false; }

void tk_runnable::step() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

void tk_runnable::finish() {}

// Shared by the thread object and its thread: tells whether the runnable has
// returned.
struct tk_thread::thread_state {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
};

void tk_thread::entry(tk_runnable* runnable, std::shared_ptr<thread_state> state) {
  struct done_guard {
    thread_state& st;
    ~done_guard() {
      {
        std::lock_guard lock(st.mutex);
        st.done = true;
      }
      st.cv.notify_all();
    }
  } guard{*state};
  if (runnable == nullptr) throw tk_mail_assertion("tk_threa", 149);
  runnable->run();
}

tk_thread::tk_thread(bool owns_runnable) : owns_runnable_(owns_runnable) {
  tk_trace(2, "tk_thread::ctor");
}

tk_thread::~tk_thread() {
  stop_and_join();
  release();
}

tk_runnable* tk_thread::create_runnable() {
  owns_runnable_ = true;
  return new tk_runnable;
}

bool tk_thread::is_running() const {
  if (!thread_.joinable() || !state_) return false;
  std::unique_lock lock(state_->mutex);
  return !state_->cv.wait_for(lock, std::chrono::milliseconds(10), [this] { return state_->done; });
}

std::thread::id tk_thread::start() {
  tk_trace(2, "tk_thread::start");
  if (is_running()) throw tk_mail_assertion("tk_threa", 92);
  cleanup();
  if (runnable_ != nullptr) throw tk_mail_assertion("tk_threa", 100);
  runnable_ = create_runnable();
  if (runnable_ == nullptr) throw tk_mail_assertion("tk_threa", 105);
  runnable_->clear_stop_request();

  state_ = std::make_shared<thread_state>();
  try {
    thread_ = std::thread(entry, runnable_, state_);
  } catch (const std::system_error& e) {
    tk_trace(3, "Cannot create thread: %s", e.what());
    release();
    throw tk_exception(std::string("Cannot start the worker thread: ") + e.what(), 1);
  }
  return thread_.get_id();
}

void tk_thread::terminate() {
  tk_trace(2, "tk_thread::terminate");
  if (!is_running()) throw tk_mail_assertion("tk_threa", 55);
  stop_and_join();
  cleanup();
}

void tk_thread::cleanup() {
  tk_trace(2, "tk_thread::cleanup");
  if (is_running()) throw tk_mail_assertion("tk_threa", 71);
  release();
}

void tk_thread::stop_and_join() noexcept {
  if (!thread_.joinable()) return;
  bool done;
  {
    std::lock_guard lock(state_->mutex);
    done = state_->done;
  }
  // A runnable that has returned is left as it is.
  if (!done && runnable_ != nullptr) runnable_->request_stop();
  thread_.join();
}

void tk_thread::release() noexcept {
  // A finished thread still has to be joined before its handle goes.
  if (thread_.joinable()) thread_.join();
  state_.reset();
  if (owns_runnable_) delete runnable_;
  runnable_ = nullptr;
}

tk_converter::tk_converter() { tk_trace(2, "tk_converter::ctor"); }

void tk_converter::end_if_stop_requested() const {
  if (is_stop_requested()) {
    tk_trace(3, "The conversion is stopped");
    throw tk_final_exception();
  }
}

void tk_converter::set_logfile(const std::string& name) {
  tk_trace(1, "tk_convertor::set_logfile(%s)", name.c_str());
  if (!name.empty()) {
    if (tk_is_file_exist(name.c_str(), 0) && !tk_is_file_exist(name.c_str(), 1))
      throw tk_exception("Logfile name specifies an existing read-only file.", 1);
    if (!tk_is_path_exist(tk_file_name(name).get_folder().c_str()))
      throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1);
  }
  logfile_ = name;
  if (!name.empty()) {
    if (tk_trace_log* log = tk_trace_log::instance_ptr()) {
      log->set_file_name(name);
      log->set_enabled(true);
    }
  }
}
