#include "TK/tk_cmdli.h"

#include <cstring>

#include "TK/tk_excep.h"

tk_cmd_line::tk_cmd_line(int argc, const char* const* argv, const tk_cmd_option* table)
    : table_(table), cursor_(argv + (argc > 0 ? 1 : 0)), remaining_(argc > 1 ? argc - 1 : 0) {
  if (!table_) throw tk_mail_assertion("tk_cmdli", 12);
  if (remaining_ > 0) parse();
}

void tk_cmd_line::next() {
  if (remaining_ <= 0) throw tk_mail_assertion("tk_cmdli", 60);
  ++cursor_;
  --remaining_;
  if (remaining_ > 0) parse();
}

void tk_cmd_line::parse() {
  const char* argument = remaining_ > 0 ? *cursor_ : nullptr;
  if (!argument) throw tk_mail_assertion("tk_cmdli", 19);
  for (const tk_cmd_option* row = table_;; ++row) {
    const std::size_t length = std::strlen(row->prefix);
    if (std::strncmp(argument, row->prefix, length) != 0) continue;
    value_ = argument + length;
    if (length > 0) {
      id_ = row->id;
    } else {
      id_ = -1;
      if (positional_.size() < max_positional) positional_.push_back(argument);
      ++positional_count_;
    }
    return;
  }
}

int tk_cmd_line::get_id() const {
  if (remaining_ <= 0) throw tk_mail_assertion("tk_cmdli.h", 140);
  return id_;
}

const char* tk_cmd_line::get_value() const {
  if (remaining_ <= 0) throw tk_mail_assertion("tk_cmdli.h", 147);
  return value_;
}
