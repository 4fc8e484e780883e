// The progress page: starts the conversion on a worker thread and shows how far it
// has come until the run ends; then the wizard moves on to the finish page.
#pragma once

#include "GUI2/g_wait.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_threa.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "common/init_conv.h"
#include "platform/gui/gui_app.h"

// t_converter: the driver singleton, a runnable with from_xls, the progress fields,
// get_progress and set_wizard (see wizard_progress).
template <class t_converter>
class progress_page : public wizard_page, private wizard_progress {
 public:
  explicit progress_page(gui::resource_set set = gui::resource_set::orvell)
      : wizard_page(108, L"Step 4 of 4", L"Database conversion is in progress", set) {
    has_help = true;
  }
  ~progress_page() override {
    stop_worker();
    if (t_converter* conv = t_converter::instance_ptr()) conv->set_wizard(nullptr);
  }

  bool page_init() override {
    tk_trace(2, "progress_page::page_init");
    t_converter& conv = t_converter::instance();
    show_ctrl(conv.from_xls ? 1325 : 1324, false);
    show_ctrl(conv.from_xls ? 1324 : 1325, true);
    if (gui::sheet* s = parent_sheet()) s->post_wizard_buttons(0);
    ctrls().set_progress(1321, 0);
    ctrls().set_text(1323, L"");
    try {
      start_worker();
    } catch (const tk_exception& e) {
      // No run: say so, and let the user go back.
      error_handler::instance().handle(e, true);
      if (gui::sheet* s = parent_sheet()) s->post_wizard_buttons(gui::PSWIZB_BACK);
    }
    return true;
  }

  // Offered only when the run could not start.
  int on_back() override { return t_converter::instance().from_xls ? 127 : 107; }
  void on_help() override { wizard_shell::instance().display_help(); }

  void on_timer(int /*id*/) override {
    t_converter& conv = t_converter::instance();
    ctrls().set_progress(1321, conv.get_progress());
    if (!conv.from_xls || !created()) return;
    std::wstring status;
    const std::wstring name = conv.get_current_name();
    if (!name.empty()) {
      const long row = static_cast<long>(conv.get_record_counter());
      const long count = static_cast<long>(conv.get_rows_total());
      status = count != 0 ? tk_wformat(L"Processing worksheet '%s' (row %ld of %ld)", name.c_str(), row, count)
                          : tk_wformat(L"Processing worksheet '%s' (row #%ld)", name.c_str(), row);
    }
    ctrls().set_text(1323, status);
  }

  // Asks the user; on Yes a running conversion is asked to stop and waited for.
  bool on_cancel() override {
    if (!wizard_page::on_cancel()) return false;
    stop_worker();
    stop_timer();
    return true;
  }

  bool is_running() const { return worker_.is_running(); }

 protected:
  // Starts the worker; a level-1 tk_exception when the thread cannot be made.
  virtual void start_worker() {
    t_converter& conv = t_converter::instance();
    conv.set_wizard(this);
    conv.clear_stop_request();
    conv.set_finished(false);
    worker_.start();
  }

 private:
  // The worker thread runs the converter, which it does not own.
  class worker_thread : public tk_thread {
   public:
    tk_runnable* create_runnable() override {
      owns_runnable_ = false;
      return &t_converter::instance();
    }
  };

  // wizard_progress: the shell's timer and the move to the finish page.
  void start_timer(unsigned period_ms) override { wizard_shell::instance().start_timer(period_ms); }
  void stop_timer() override {
    if (wizard_shell* shell = wizard_shell::instance_ptr()) shell->stop_timer();
  }
  void show_finish_page() override {
    if (wizard_shell* shell = wizard_shell::instance_ptr()) shell->select_page_by_id(116);
  }
  void stop_worker() {
    // Never a forced end: the run is asked to stop and waited for, while the user
    // interface keeps answering it.
    if (gui::started())
      wizard_stop_thread(worker_);
    else
      worker_.terminate();
  }

  worker_thread worker_;
};
