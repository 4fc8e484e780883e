// The server's errors as the tests compare them: number, class, state, text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/tds_server/tests/dblib_client.h"

namespace tds_test {

struct error {
  int number;
  int severity;
  int state;
  std::string text;
  bool operator==(const error&) const = default;
};

inline std::ostream& operator<<(std::ostream& o, const error& e) {
  return o << e.number << "/" << e.severity << "/" << e.state << " " << e.text;
}

// The server's errors (not its informational messages) since the last clear.
inline std::vector<error> errors() {
  std::vector<error> out;
  for (const auto& m : messages()) {
    if (m.number < 20000 && m.severity > 10) out.push_back({m.number, m.severity, m.state, m.text});
  }
  return out;
}

// Runs a batch and returns its errors.
inline std::vector<error> run(connection& c, const std::string& sql) {
  clear_messages();
  c.exec(sql);
  return errors();
}

}  // namespace tds_test
