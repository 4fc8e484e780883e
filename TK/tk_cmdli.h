// The command-line tokenizer: walks an argument vector over a table of option
// prefixes. An argument takes the first row whose prefix stands at its very
// start (case-sensitive); the value is the rest of the argument. The table ends
// with a row whose prefix is empty, which matches every argument: such an
// argument is positional (id -1) and is kept among the positional arguments.
#pragma once

#include <cstddef>
#include <vector>

struct tk_cmd_option {
  int id;
  const char* prefix;  // empty in the last row
};

class tk_cmd_line {
 public:
  static constexpr std::size_t max_positional = 20;

  // The cursor stands at the second argument (the first is the program), which
  // is parsed at once when there is one. The table must end with an empty prefix.
  tk_cmd_line(int argc, const char* const* argv, const tk_cmd_option* table);
  virtual ~tk_cmd_line() = default;
  tk_cmd_line(const tk_cmd_line&) = delete;
  tk_cmd_line& operator=(const tk_cmd_line&) = delete;

  // Moves to the next argument and parses it; internal error without one.
  virtual void next();
  // An argument remains to be handled.
  virtual bool has_more() const { return remaining_ > 0; }

  // The current argument's option id (-1 positional) and its value (the text
  // after the prefix); internal errors when no argument remains.
  int get_id() const;
  const char* get_value() const;

  // How many positional arguments were met; the first 20 are kept.
  std::size_t get_positional_count() const { return positional_count_; }
  const std::vector<const char*>& get_positional() const { return positional_; }

 private:
  void parse();

  const tk_cmd_option* table_;
  const char* value_ = nullptr;
  int id_ = -1;
  std::size_t positional_count_ = 0;
  std::vector<const char*> positional_;
  const char* const* cursor_;
  int remaining_;
};
