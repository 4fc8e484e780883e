#include "apps/orvell_wizard/progress_page.h"

#include "GUI2/g_wait.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "platform/gui/gui_app.h"

tk_runnable* progress_page::worker_thread::create_runnable() {
  owns_runnable_ = false;
  return &orvell_converter::instance();
}

progress_page::progress_page() : wizard_page(108, L"Step 4 of 4", L"Database conversion is in progress") {
  has_help = true;
}

progress_page::~progress_page() {
  stop_worker();
  if (orvell_converter* conv = orvell_converter::instance_ptr()) conv->set_wizard(nullptr);
}

void progress_page::stop_worker() {
  // Never a forced end: the run is asked to stop and waited for, while the user
  // interface keeps answering it.
  if (gui::started())
    wizard_stop_thread(worker_);
  else
    worker_.terminate();
}

bool progress_page::page_init() {
  tk_trace(2, "progress_page::page_init");
  orvell_converter& conv = orvell_converter::instance();
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

void progress_page::start_worker() {
  orvell_converter& conv = orvell_converter::instance();
  conv.set_wizard(this);
  conv.clear_stop_request();
  conv.set_finished(false);
  worker_.start();
}

int progress_page::on_back() {
  // Offered only when the run could not start.
  return orvell_converter::instance().from_xls ? 127 : 107;
}

void progress_page::on_help() { wizard_shell::instance().display_help(); }

void progress_page::on_timer(int /*id*/) {
  orvell_converter& conv = orvell_converter::instance();
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

bool progress_page::on_cancel() {
  if (!wizard_page::on_cancel()) return false;
  stop_worker();
  stop_timer();
  return true;
}

void progress_page::start_timer(unsigned period_ms) { wizard_shell::instance().start_timer(period_ms); }

void progress_page::stop_timer() {
  if (wizard_shell* shell = wizard_shell::instance_ptr()) shell->stop_timer();
}

void progress_page::show_finish_page() {
  if (wizard_shell* shell = wizard_shell::instance_ptr()) shell->select_page_by_id(116);
}
