// Working a whole wizard from a test: its start-up run as the program runs it, and a
// script that works it through the test driver from inside the sheet's own modal
// loop once its first page shows.
#pragma once

#include "GUI2/g_wiz_sh.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"

#include <functional>
#include <string>
#include <vector>

// start: the program's start-up (it runs the sheet modally); returns its result.
inline int run_wizard_script(gui::driver& d, const std::function<int()>& start, const std::function<void()>& script) {
  std::function<void()> poll = [&] {
    if (!wizard_shell::is_initialized()) {
      gui::post_to_ui(poll);
      return;
    }
    wizard_shell& shell = wizard_shell::instance();
    d.attach(shell);
    d.settle();
    script();
    if (!shell.ended()) shell.close();
  };
  gui::post_to_ui(poll);
  return start();
}

// The texts of the message boxes shown, in order.
inline std::vector<std::wstring> message_texts(const gui::driver& d) {
  std::vector<std::wstring> out;
  for (const auto& r : d.log())
    if (r.kind == "message") out.push_back(r.text);
  return out;
}
