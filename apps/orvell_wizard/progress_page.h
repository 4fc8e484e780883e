// The progress page: starts the conversion on a worker thread and shows how far it
// has come until the run ends; then the wizard moves on to the finish page.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "TK/tk_threa.h"
#include "apps/orvell_wizard/orv_conv.h"

class progress_page : public wizard_page, private wizard_progress {
 public:
  progress_page();
  ~progress_page() override;

  bool page_init() override;
  int on_back() override;
  void on_help() override;
  void on_timer(int id) override;
  // Asks the user; on Yes a running conversion is asked to stop and waited for.
  bool on_cancel() override;

  bool is_running() const { return worker_.is_running(); }

 protected:
  // Starts the worker; a level-1 tk_exception when the thread cannot be made.
  virtual void start_worker();

 private:
  // The worker thread runs the converter, which it does not own.
  class worker_thread : public tk_thread {
   public:
    tk_runnable* create_runnable() override;
  };

  // wizard_progress: the shell's timer and the move to the finish page.
  void start_timer(unsigned period_ms) override;
  void stop_timer() override;
  void show_finish_page() override;
  void stop_worker();

  worker_thread worker_;
};
