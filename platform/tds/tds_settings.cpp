#include "platform/tds/tds_settings.h"

#include <cstdlib>
#include <string>

#include "TK/tk_trace.h"
#include "platform/tds/tds_sql.h"

namespace {

// The longest wait SET LOCK_TIMEOUT takes, in seconds (its milliseconds are an int).
constexpr long max_seconds = 2147483;

}  // namespace

long tds_lock_timeout_ms() {
  const char* value = std::getenv("ORV_MSS_LOCK_TIMEOUT");
  if (!value) return tsql_lock_timeout_ms;
  std::string text = value;
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
  long seconds = 0;
  bool whole = !text.empty() && text.size() <= 7;
  for (const char c : text) {
    whole = whole && c >= '0' && c <= '9';
    if (whole) seconds = seconds * 10 + (c - '0');
  }
  if (!whole || seconds > max_seconds) {
    tk_trace(2, "ORV_MSS_LOCK_TIMEOUT=%s is no whole number of seconds: the default wait holds", value);
    return tsql_lock_timeout_ms;
  }
  return seconds * 1000;
}
