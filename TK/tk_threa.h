// Runnables, the worker thread that runs one of them, and the runnable base of
// every conversion driver.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

// A unit of work for a worker thread. run() calls step() until is_done() holds,
// then finish(). A stop request (from tk_thread::terminate) is a polite one: the
// default loop honours it, and long-running work polls is_stop_requested().
class tk_runnable {
public:
  tk_runnable() = default;
  tk_runnable(const tk_runnable&) = delete;
  tk_runnable& operator=(const tk_runnable&) = delete;
  virtual ~tk_runnable() = default;

  virtual void run();
  virtual bool is_done();
  // Sleeps 100 ms.
  virtual void step();
  virtual void finish();

  void request_stop() noexcept { stop_requested_.store(true); }
  void clear_stop_request() noexcept { stop_requested_.store(false); }
  bool is_stop_requested() const noexcept { return stop_requested_.load(); }

private:
  std::atomic<bool> stop_requested_{false};
};

// Owns one worker thread that runs one runnable. Used from the thread that
// created it.
class tk_thread {
public:
  explicit tk_thread(bool owns_runnable = false);
  tk_thread(const tk_thread&) = delete;
  tk_thread& operator=(const tk_thread&) = delete;
  // Stops and waits for a running thread, then releases it.
  virtual ~tk_thread();

  // The runnable for the next start. The default makes a plain tk_runnable and
  // takes ownership of it; a replacement returns its own runnable and leaves the
  // owns flag as it wants it (a runnable not owned outlives the thread).
  virtual tk_runnable* create_runnable();

  // Starts a new thread on a new runnable; a finished thread is released first.
  // A thread that cannot be created raises a level-1 tk_exception.
  std::thread::id start();
  // Asks the runnable to stop, waits for the thread to end, then releases it.
  void terminate();
  // Releases the finished thread and the runnable (deleted when owned).
  void cleanup();

  // A thread was started and has not ended within 10 ms.
  bool is_running() const;
  tk_runnable* get_runnable() const { return runnable_; }

protected:
  bool owns_runnable_;

private:
  struct thread_state;
  static void entry(tk_runnable* runnable, std::shared_ptr<thread_state> state);
  void stop_and_join() noexcept;
  void release() noexcept;

  std::thread thread_;
  std::shared_ptr<thread_state> state_;
  tk_runnable* runnable_ = nullptr;
};

// The runnable base of every conversion driver; a driver replaces run() with the
// whole conversion.
class tk_converter : public tk_runnable {
public:
  tk_converter();

  virtual void set_silent(bool silent) { silent_ = silent; }
  bool is_silent() const { return silent_; }

  // Set by the conversion scope when a run ends; read by the progress display.
  bool is_finished() const noexcept { return finished_.load(); }
  void set_finished(bool finished) noexcept { finished_.store(finished); }

  // For the table and record loops of a run: a stop request ends the run the
  // way Abort does (tk_final_exception).
  void end_if_stop_requested() const;

  const std::wstring& get_src() const { return src_; }
  void set_src(const std::wstring& src) { src_ = src; }
  const std::wstring& get_dest() const { return dest_; }
  void set_dest(const std::wstring& dest) { dest_ = dest; }

  // Checks that the log file can be written, keeps its name and, when the name is
  // not empty, sends the trace log there. Level-1 tk_exception for a read-only
  // file or a missing folder.
  void set_logfile(const std::string& name);
  const std::string& get_logfile() const { return logfile_; }

protected:
  std::atomic<bool> finished_{false};
  bool silent_ = false;
  std::wstring src_;
  std::wstring dest_;
  std::string logfile_;
};
