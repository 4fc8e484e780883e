// A small FreeTDS db-lib client for the tests of the TDS test server: one
// connection, statements with their rows as text, the server's messages, and
// bulk copy. Messages and errors are kept per thread.
#pragma once

#include <sybdb.h>
#include <sybfront.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tds_test {

struct message {
  int number = 0;
  int severity = 0;
  int state = 0;
  std::string text;
};

// Messages (server messages, and client errors as numbers 20000+) since the last clear.
std::vector<message>& messages();
void clear_messages();
// True when a message with this number arrived.
bool has_message(int number);

struct result {
  std::vector<std::string> columns;
  std::vector<int> types;  // db-lib types of the columns
  std::vector<std::vector<std::string>> rows;  // "NULL" for NULL
};

// Runs a shell command (FreeTDS's tsql, freebcp) and returns what it wrote to stdout and stderr.
std::string command_output(const std::string& cmd);

class connection {
 public:
  // Logs in at host:port; returns with ok() false when the login is refused.
  // A language other than null goes into the login record (FreeTDS otherwise sends its default, us_english).
  connection(const std::string& host, int port, const std::string& user, const std::string& password,
             const std::string& database = "", bool bulk = false, const char* language = nullptr);
  ~connection();
  connection(const connection&) = delete;
  connection& operator=(const connection&) = delete;

  bool ok() const { return proc_ != nullptr; }
  DBPROCESS* proc() { return proc_; }
  // Runs a batch; false when the server reported an error (see messages()).
  bool exec(const std::string& sql, std::vector<result>* results = nullptr);
  // Runs a batch expected to succeed and returns its first result's rows.
  std::vector<std::vector<std::string>> rows(const std::string& sql);

 private:
  DBPROCESS* proc_ = nullptr;
};

}  // namespace tds_test
