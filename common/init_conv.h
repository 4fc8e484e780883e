// The scope of one conversion run.
//
// Created at the top of a converter's run on the thread that runs it: logs the
// start and end times, starts the progress timer of the wizard (when one is
// given) and, when it closes, sets the converter's finished flag, however the
// run ended.
#pragma once

class tk_converter;

// The wizard's progress timer (the wizard shell's 200 ms timer).
class progress_timer {
 public:
  virtual ~progress_timer() = default;
  virtual void start_timer(unsigned period_ms) = 0;
};

// What a driver needs of the wizard: the progress timer and the move to the finish
// page once the run has ended.
class wizard_progress : public progress_timer {
 public:
  virtual void stop_timer() = 0;
  // Selects the finish page (dialog 116).
  virtual void show_finish_page() = 0;
};

class init_conversion {
 public:
  // skip_com: the calling thread's COM is initialised elsewhere (by the DAO
  // engine); this platform has no COM to initialise, so it is only kept.
  // timer: started with 200 ms; null starts none (the console and headless runs).
  init_conversion(tk_converter& converter, bool skip_com, progress_timer* timer = nullptr);
  ~init_conversion();

  init_conversion(const init_conversion&) = delete;
  init_conversion& operator=(const init_conversion&) = delete;

 private:
  bool skip_com_;
  tk_converter& converter_;
};
