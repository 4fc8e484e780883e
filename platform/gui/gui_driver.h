// The test driver: works the wizard the way a person does, by pressing buttons and
// controls through their real event handlers, and answers every modal window from a
// script written in advance, recording what each one showed.
//
//   gui::driver d;                        // installs itself as the modal script
//   wizard.open(nullptr);                 // the sheet, without a modal loop
//   d.answer_message(gui::IDYES);         // the next message box gets Yes
//   d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1330); },
//                   gui::IDOK);           // the next dialog: click 1330, then OK
//   d.press(gui::ID_PSNEXT);
//   EXPECT_EQ(d.page_id(), 105);
//   EXPECT_EQ(d.log().back().text, L"...");
#pragma once

#include "platform/gui/gui_dialog.h"
#include "platform/gui/gui_sheet.h"

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace gui {

class driver : public modal_script {
 public:
  driver();
  ~driver() override;
  driver(const driver&) = delete;
  driver& operator=(const driver&) = delete;

  // The sheet being worked (opened by the test with sheet::open).
  void attach(sheet& s) { sheet_ = &s; }

  // The current page and its controls.
  int page_id() const;
  control_set& page_controls();
  // Sheet buttons (ID_PSBACK, ID_PSNEXT, ID_WIZFINISH, IDCANCEL, IDHELP) and keys.
  // Pressing a button a person could not press (hidden or disabled) fails.
  void press(int button_id);
  bool button_enabled(int button_id) const;
  void key_f1();
  void key_escape();
  void close_box();
  // Page controls.
  void click(int id);
  void type(int id, const std::wstring& text);
  void choose(int id, int index);
  void double_click(int id, int index);
  void focus(int id);
  // Real input, made by the display's server (gui_input.h): it travels the toolkit's
  // own way, so input grabs, the keyboard focus and the default button all count. A
  // click of the pointer on a sheet button; a key ("Return") pressed with the pointer
  // resting on the sheet. Fails when the display cannot make such input.
  void pointer_click(int button_id);
  void keyboard(const std::string& key);
  // A click of the pointer on an entry of the help viewer's contents (its name as
  // listed there).
  void click_help_contents(const std::wstring& entry);
  // Lets queued work run (posted wizard buttons, calls from workers, timers).
  void settle(int ms = 0);
  bool wait_for(const std::function<bool()>& done, int timeout_ms = 30000);

  // Scripted answers, used in order by the modal windows as they come.
  void answer_message(int button);
  void answer_dialog(std::function<void(dialog&)> before, int press_id);
  void answer_dialog(int press_id) { answer_dialog(nullptr, press_id); }
  void answer_file(std::optional<std::wstring> path);
  // Help requests are always recorded; with show_help on, the help viewer also shows
  // them (gui::help_shown tells what it shows).
  void show_help(bool on) { show_help_ = on; }
  size_t answers_left() const;

  // Pictures: with a folder set, every scripted dialog and message box is shown and
  // saved there before it is answered ("NN-dialog-ID.png", "NN-message.png"), and
  // screenshot() saves the sheet as it stands ("NN-NAME.png").
  void set_screenshot_folder(const std::wstring& folder) { shots_ = folder; }
  bool screenshot(const std::wstring& name);
  // The same of another window (the help viewer).
  bool screenshot(const std::wstring& name, hwnd window);

  // Every modal window and help request, in order.
  std::vector<modal_record> log() const;
  // Modal windows that found no fitting answer (they got Cancel, No or OK).
  std::vector<modal_record> unexpected() const;
  void clear_log();

  // modal_script
  int message_box(const std::wstring& caption, const std::wstring& text, unsigned flags) override;
  void run_dialog(dialog& d) override;
  std::optional<std::wstring> file_dialog(const file_request& request) override;
  bool help(const std::wstring& book, int topic) override;

 private:
  struct answer {
    std::string kind;  // "message", "dialog", "file"
    int button = 0;
    std::function<void(dialog&)> before;
    std::optional<std::wstring> path;
  };
  std::optional<answer> next(const std::string& kind);
  void record(modal_record r, bool fitted);

  std::wstring shot_path(const std::wstring& name);
  void shoot_message(const std::wstring& caption, const std::wstring& text, unsigned flags);

  sheet* sheet_ = nullptr;
  std::wstring shots_;
  int shot_count_ = 0;
  bool show_help_ = false;
  mutable std::mutex mutex_;
  std::deque<answer> answers_;
  std::vector<modal_record> log_;
  std::vector<modal_record> unexpected_;
  modal_script* previous_;
};

// Presses a control of a dialog that a script is answering.
void press_in(dialog& d, int id);

}  // namespace gui
