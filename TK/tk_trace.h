// The process-wide trace log and its two writers.
//
// Only a program that creates a tk_trace_log has a log; without one both
// writers return at once. Levels: 1 details; 2 entry into operations,
// constructors, statements sent, failures passed over; 3 the main steps of a
// run and reported errors. Formats follow the C library dialect of
// platform/kernel/crt_format.h ("%I64d", three-digit exponents, C locale; in
// tk_wtrace "%s" is a wide string).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "TK/tk_singl.h"

class tk_trace_log : public tk_singleton<tk_trace_log> {
 public:
  // A null file name means the program's path with the extension ".log".
  // When enabled, the file is emptied at once.
  tk_trace_log(const char* file_name, bool enabled, int threshold, bool time_prefix);
  ~tk_trace_log();

  // The log's accessor is the trace writers' one (internal error at its own
  // location when there is no log).
  static tk_trace_log& instance() { return get_instance(); }
  // The program's path with its extension replaced by ".log".
  static std::string default_file_name();

  // When enabled and not yet done in this process, empties the file.
  void truncate_once();
  // Appends one entry (time prefix, text, CR LF) when enabled and the level
  // reaches the threshold.
  void write(int level, const std::string& text);

  // The settings may change while other threads write: each entry is written
  // whole, under the log's lock. The file name is read by its owner only.
  const std::string& get_file_name() const { return file_name_; }
  void set_file_name(const std::string& name);
  int get_threshold() const { return threshold_; }
  void set_threshold(int threshold) { threshold_ = threshold; }
  bool is_enabled() const { return enabled_; }
  void set_enabled(bool enabled) { enabled_ = enabled; }
  bool has_time_prefix() const { return time_prefix_; }
  void set_time_prefix(bool on) { time_prefix_ = on; }
  void set_line_end(bool on) { line_end_ = on; }

  // Bounds of a wide entry: formatted wide characters, then UTF-8 bytes.
  static constexpr std::size_t wide_entry_chars = 10240;
  static constexpr std::size_t wide_entry_bytes = 10240;

 private:
  bool empty_file() const;

  std::string file_name_;
  std::atomic<int> threshold_;
  std::atomic<bool> line_end_ = true;
  std::atomic<bool> enabled_;
  bool truncated_ = false;  // under lock_
  std::atomic<bool> time_prefix_;
  mutable std::mutex lock_;
};

// Holds back the entries this thread writes while it lives: release() writes
// them, at their places, and ends the hold; otherwise they are dropped. For a
// check whose failure is a routine answer ("no such database"), whose entries
// are worth writing only when the failure turns out to be an error.
class tk_trace_hold {
 public:
  tk_trace_hold();
  ~tk_trace_hold();
  tk_trace_hold(const tk_trace_hold&) = delete;
  tk_trace_hold& operator=(const tk_trace_hold&) = delete;
  void release();
  // Drops what is held and ends the hold.
  void discard();

 private:
  friend class tk_trace_log;
  struct entry {
    int level;
    std::string text;
  };
  std::vector<entry> held_;
  tk_trace_hold* outer_;
  bool active_ = true;
};

// Whether an entry of this level would be written now: for entries whose text
// costs to make (a value's text per field), so that a program whose log is off
// does not make it.
bool tk_trace_wanted(int level);

// The writers behind tk_trace and tk_wtrace.
void tk_trace_entry(int level, const char* format, ...);
void tk_wtrace_entry(int level, const wchar_t* format, ...);

// Without a log, or with the log switched off, a trace call costs a test at its
// call site: hot loops trace freely.
template <class... Args>
inline void tk_trace(int level, const char* format, Args... args) {
  const tk_trace_log* log = tk_trace_log::instance_ptr();
  if (log && log->is_enabled()) tk_trace_entry(level, format, args...);
}

template <class... Args>
inline void tk_wtrace(int level, const wchar_t* format, Args... args) {
  const tk_trace_log* log = tk_trace_log::instance_ptr();
  if (log && log->is_enabled()) tk_wtrace_entry(level, format, args...);
}
