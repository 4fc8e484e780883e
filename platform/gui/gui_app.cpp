#include "platform/gui/gui_app.h"

#include "platform/gui/gui_clipboard.h"
#include "platform/kernel/clipboard.h"
#include "platform/kernel/dll_version.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/thread.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

namespace gui {
namespace {

class ui_app : public wxApp {
 public:
  bool OnInit() override { return true; }
  // Exceptions thrown in event handlers travel to the code that runs the loop.
  bool OnExceptionInMainLoop() override { throw; }
};

void report_assert(const wxString& file, int line, const wxString& func, const wxString& cond,
                   const wxString& msg) {
  std::fprintf(stderr, "toolkit assertion %s:%d %s: %s %s\n", file.utf8_str().data(), line,
               func.utf8_str().data(), cond.utf8_str().data(), msg.utf8_str().data());
}

std::atomic<bool> g_started{false};
std::unique_ptr<wxGUIEventLoop> g_loop;
std::string g_start_error;

// Keeps the toolkit's errors while it starts: the reason it gives when it cannot.
class start_log : public wxLog {
 protected:
  void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo&) override {
    if (level <= wxLOG_Warning && !msg.empty()) g_start_error = msg.utf8_string();
  }
};

// The display the toolkit was asked to open, for the reason of a failed start.
std::string display_note() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return "DISPLAY is not set";
  return std::string("DISPLAY=") + display;
}

}  // namespace

bool start(int argc, char** argv) {
  if (g_started) return true;
  static char name[] = "orvell";
  static char* default_argv[] = {name, nullptr};
  if (argc == 0 || argv == nullptr) {
    argc = 1;
    argv = default_argv;
  }
  g_start_error.clear();
  wxApp::SetInstance(new ui_app);
  wxLog* const log = new start_log;
  delete wxLog::SetActiveTarget(log);
  const bool entered = wxEntryStart(argc, argv);
  if (wxLog* active = wxLog::SetActiveTarget(nullptr); active == log) delete active;
  if (!entered) {
    // wxEntryStart has undone its own start; nothing is left to clean up.
    if (g_start_error.empty()) g_start_error = "the toolkit did not start";
    g_start_error += " (" + display_note() + ")";
    return false;
  }
  if (!wxTheApp || !wxTheApp->CallOnInit()) {
    g_start_error = "the toolkit did not start (" + display_note() + ")";
    wxEntryCleanup();
    return false;
  }
  g_start_error.clear();
  // Toolkit assertions and log errors go to stderr: a box would stop an unattended run.
  wxSetAssertHandler(report_assert);
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxInitAllImageHandlers();
  g_loop = std::make_unique<wxGUIEventLoop>();
  wxEventLoopBase::SetActive(g_loop.get());
  g_started = true;
  // The system's code reaches the clipboard and asks for the common controls
  // through the kernel; both exist from now on.
  kernel::set_clipboard_writer(clipboard_set_text);
  kernel::register_dll_version(L"comctl32.dll", 5, 80);
  return true;
}

void stop() {
  if (!g_started) return;
  pump();
  kernel::set_clipboard_writer(nullptr);
  kernel::unregister_dll_version(L"comctl32.dll");
  g_started = false;
  wxEventLoopBase::SetActive(nullptr);
  g_loop.reset();
  wxTheApp->OnExit();
  wxEntryCleanup();
}

bool started() { return g_started; }

std::string start_error() { return g_start_error; }

bool on_ui_thread() { return g_started && wxThread::IsMain(); }

unsigned common_controls_version() { return g_started ? 0x50050u : 0u; }

void run_on_ui(const std::function<void()>& fn) {
  if (!g_started) throw std::runtime_error("the user interface has not been started");
  if (wxThread::IsMain()) {
    fn();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> answer = done->get_future();
  wxTheApp->CallAfter([done, &fn] {
    try {
      fn();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  answer.get();
}

void post_to_ui(std::function<void()> fn) {
  if (!g_started) throw std::runtime_error("the user interface has not been started");
  wxTheApp->CallAfter(std::move(fn));
}

void pump(int ms) {
  if (!g_started || !wxThread::IsMain()) return;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    wxTheApp->ProcessPendingEvents();
    if (auto* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_ALL);
    wxTheApp->ProcessPendingEvents();
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < until);
}

bool pump_until(const std::function<bool()>& done, int timeout_ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return done();
    pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace gui
