#include "TK/tk_errco.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

tk_error_converter::tk_error_converter(int count, const tk_error_entry* table) { load_map(count, table); }

void tk_error_converter::load_map(int count, const tk_error_entry* table) {
  if (!table) throw tk_mail_assertion("tk_errco", 43);
  for (int i = 0; i < count; ++i) map_.emplace(table[i].code, table[i].text ? table[i].text : "");
  tk_trace(2, "tk_error_converter::load_map (map size=%d)", static_cast<int>(map_.size()));
}

std::string tk_error_converter::convert(int code) const {
  tk_trace(2, "tk_error_converter::convert(%d)", code);
  auto it = map_.find(code);
  if (it == map_.end()) {
    tk_trace(2, "Error message not found!");
    return {};
  }
  tk_trace(2, "Error message has been found: %s", it->second.c_str());
  return it->second;
}
