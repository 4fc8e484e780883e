// Error codes to message texts, filled from {code, text} tables.
//
// Codes of the back ends keep apart by their high bits: DAO errors are
// 0x10000 + n, MySQL server errors 0x400000 + n, OLE DB results 0x80000 + their
// low 16 bits.
#pragma once

#include <cstddef>
#include <map>
#include <string>

struct tk_error_entry {
  int code;
  const char* text;
};

class tk_error_converter {
 public:
  tk_error_converter() = default;
  tk_error_converter(int count, const tk_error_entry* table);

  // Adds the table's pairs in order; a code already present keeps its first
  // text. A null table is an internal error.
  void load_map(int count, const tk_error_entry* table);
  // The code's text, or an empty text when no table holds the code.
  std::string convert(int code) const;
  std::size_t size() const { return map_.size(); }

 private:
  std::map<int, std::string> map_;
};
