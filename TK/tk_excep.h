// The exception family of the system.
//
// Every failure travels as a tk_exception with a message, an error code (looked
// up in the error reporter's code-to-message tables; 0 when none) and a level:
//   0 recoverable (the user may continue), 1 stops the conversion, 2 internal error.
// tk_table_exception ends the table being written, not the run.
// tk_final_exception stands outside the family: it ends a running conversion
// after the error has been shown, and a handler of tk_exception does not catch it.
#pragma once

#include <exception>
#include <string>

class tk_exception : public std::exception {
 public:
  explicit tk_exception(int level);
  // An empty message becomes "Unknown exception".
  tk_exception(const std::string& message, int level);
  tk_exception(const char* message, int level) : tk_exception(std::string(message ? message : ""), level) {}
  // The message in the system's ANSI code page (characters it cannot hold
  // become '?'); an empty wide message gives an empty message.
  tk_exception(const std::wstring& message, int level);
  tk_exception(const wchar_t* message, int level) : tk_exception(std::wstring(message ? message : L""), level) {}

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const { return message_; }
  int get_code() const { return code_; }
  int get_level() const { return level_; }

 protected:
  // For the back ends' exceptions, which carry codes of their own.
  tk_exception(const std::string& message, int code, int level);

  std::string message_;
  int code_ = 0;
  int level_ = 0;
};

// Level 1; the code is the calling thread's last error, the message the
// system's text for it (with its CR LF), or "Unknown exception".
class tk_exception_ex : public tk_exception {
 public:
  tk_exception_ex();
};

// Level 2: an internal check failed at the source file and line.
// Message "Internal error: \ncode=" followed by the location code.
class tk_mail_assertion : public tk_exception {
 public:
  tk_mail_assertion(const char* file, int line);
};

// The text "<file>\<line>" written as two lower-case hexadecimal digits per character.
std::string tk_location_code(const char* file, int line);

class ole_type_exception : public tk_exception {
 public:
  ole_type_exception();
};

class ole_cast_exception : public tk_exception {
 public:
  ole_cast_exception();
};

// Level 0: the table being written cannot take another record (another session
// holds it locked, the server refuses every statement on it). The record loop
// lets it pass: the table ends with this one error and the run goes on with
// the next table. Its message names the table.
class tk_table_exception : public tk_exception {
 public:
  explicit tk_table_exception(const std::string& message) : tk_exception(message, 0) {}
  explicit tk_table_exception(const std::wstring& message) : tk_exception(message, 0) {}
  // With a back end's error code, whose text in the error tables (where it has
  // one) is what the user is shown.
  tk_table_exception(const std::string& message, int code) : tk_exception(message, code, 0) {}
};

// Level 1: the connection to the server was lost while the run wrote to it. The
// run ends with this one error; its message names the table (where there is
// one) and says what the server holds now, as a new connection found it (or
// that it cannot be told). A driver that dropped the table to replace it adds
// that to the message.
class tk_connection_lost : public tk_exception {
 public:
  explicit tk_connection_lost(const std::string& message) : tk_exception(message, 1) {}
  explicit tk_connection_lost(const std::wstring& message) : tk_exception(message, 1) {}
};

class tk_final_exception : public std::exception {
 public:
  tk_final_exception();
};
