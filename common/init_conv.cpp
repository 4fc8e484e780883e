#include "common/init_conv.h"

#include <ctime>

#include "TK/tk_threa.h"
#include "TK/tk_trace.h"

namespace {

void log_time(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  tk_trace(3, format, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
           local.tm_sec);
}

}  // namespace

init_conversion::init_conversion(tk_converter& converter, bool skip_com, progress_timer* timer)
    : skip_com_(skip_com), converter_(converter) {
  tk_trace(2, "init_conversion::ctor");
  log_time("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d\n");
  if (timer) {
    try {
      timer->start_timer(200);
    } catch (...) {
      // The run does not start; the wizard must still see it ended.
      converter_.set_finished(true);
      throw;
    }
  }
}

init_conversion::~init_conversion() {
  tk_trace(2, "init_conversion::dtor");
  log_time("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d\n");
  converter_.set_finished(true);
}
