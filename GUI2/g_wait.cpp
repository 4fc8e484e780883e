#include "GUI2/g_wait.h"

#include "TK/tk_threa.h"
#include "TK/tk_trace.h"
#include "platform/gui/gui_app.h"

#include <climits>

void wizard_stop_thread(tk_thread& thread) {
  tk_trace(2, "wizard_stop_thread");
  if (thread.is_running()) {
    if (tk_runnable* run = thread.get_runnable()) run->request_stop();
    // is_running waits a little itself; between the waits the worker's calls are served.
    gui::pump_until([&] { return !thread.is_running(); }, INT_MAX);
  }
  thread.cleanup();
}
