#include "TK/tk_trace.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "platform/kernel/codepage.h"
#include "platform/kernel/crt_format.h"
#include "platform/kernel/path.h"

namespace {

// The program's path with its extension replaced by ".log".
std::string default_log_name() {
  std::string path = kernel::module_path().value_or("trace");
  auto parts = kernel::split_path(path);
  return parts.dir + parts.fname + ".log";
}

// The longest prefix of a UTF-8 text that fits in max bytes without cutting a character.
std::size_t utf8_fit(const std::string& s, std::size_t max) {
  if (s.size() <= max) return s.size();
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

// The log that takes an entry of this level, after the first call's truncation.
tk_trace_log* log_for(int level) {
  tk_trace_log* log = tk_trace_log::instance_ptr();
  if (!log || !log->is_enabled()) return nullptr;
  log->truncate_once();
  return level < log->get_threshold() ? nullptr : log;
}

}  // namespace

std::string tk_trace_log::default_file_name() { return default_log_name(); }

tk_trace_log::tk_trace_log(const char* file_name, bool enabled, int threshold, bool time_prefix)
    : file_name_(file_name ? file_name : default_log_name()),
      threshold_(threshold),
      enabled_(enabled),
      time_prefix_(time_prefix) {
  if (enabled_) truncated_ = empty_file();
}

tk_trace_log::~tk_trace_log() = default;

bool tk_trace_log::empty_file() const {
  std::FILE* f = std::fopen(file_name_.c_str(), "wb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

void tk_trace_log::set_file_name(const std::string& name) {
  std::lock_guard<std::mutex> hold(lock_);
  file_name_ = name;
}

void tk_trace_log::truncate_once() {
  std::lock_guard<std::mutex> hold(lock_);
  if (enabled_ && !truncated_) {
    empty_file();
    truncated_ = true;
  }
}

namespace {
thread_local tk_trace_hold* g_hold = nullptr;
}  // namespace

tk_trace_hold::tk_trace_hold() : outer_(g_hold) { g_hold = this; }

tk_trace_hold::~tk_trace_hold() { discard(); }

void tk_trace_hold::discard() {
  if (!active_) return;
  active_ = false;
  g_hold = outer_;
  held_.clear();
}

void tk_trace_hold::release() {
  if (!active_) return;
  std::vector<entry> held = std::move(held_);
  discard();
  tk_trace_log* log = tk_trace_log::instance_ptr();
  if (!log) return;
  for (const entry& e : held) log->write(e.level, e.text);
}

void tk_trace_log::write(int level, const std::string& text) {
  if (!enabled_) return;
  truncate_once();
  if (level < threshold_) return;
  if (g_hold) {
    g_hold->held_.push_back({level, text});
    return;
  }
  std::lock_guard<std::mutex> hold(lock_);
  std::FILE* f = std::fopen(file_name_.c_str(), "ab");
  if (!f) return;
  if (time_prefix_) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) std::fprintf(f, "%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
  }
  std::fwrite(text.data(), 1, text.size(), f);
  if (line_end_) std::fwrite("\r\n", 1, 2, f);
  std::fclose(f);
}

bool tk_trace_wanted(int level) {
  const tk_trace_log* log = tk_trace_log::instance_ptr();
  return log && log->is_enabled() && level >= log->get_threshold();
}

void tk_trace_entry(int level, const char* format, ...) {
  tk_trace_log* log = log_for(level);
  if (!log) return;
  va_list ap;
  va_start(ap, format);
  std::string text = kernel::vformat(format, ap);
  va_end(ap);
  log->write(level, text);
}

void tk_wtrace_entry(int level, const wchar_t* format, ...) {
  tk_trace_log* log = log_for(level);
  if (!log) return;
  va_list ap;
  va_start(ap, format);
  std::wstring text = kernel::vformat(format, ap);
  va_end(ap);
  // A longer entry is cut, at a character boundary, to the bounds.
  if (text.size() > tk_trace_log::wide_entry_chars - 1) text.resize(tk_trace_log::wide_entry_chars - 1);
  std::string utf8 = kernel::wide_to_utf8(text);
  utf8.resize(utf8_fit(utf8, tk_trace_log::wide_entry_bytes));
  log->write(level, utf8);
}
