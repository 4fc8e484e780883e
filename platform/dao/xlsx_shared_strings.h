// The shared-string table of an .xlsx package, held compactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/string_pool.h"
#include "platform/dao/zip_package.h"

namespace jet {

class xlsx_shared_strings {
 public:
  xlsx_shared_strings() = default;
  // Reads the table from its part; 3274 when it is malformed or beyond bounds.
  static xlsx_shared_strings read(const zip_package& package, const std::string& part);

  std::size_t size() const { return strings_.size(); }
  // The string at index; 3274 when the index is out of range.
  std::string_view at(std::size_t index) const;

  void add(std::string_view text);

 private:
  string_pool strings_;
};

// Undoes the _xHHHH_ escapes that OOXML uses for characters XML cannot carry
// (control characters such as _x000D_; _x005F_ escapes the underscore).
void decode_ooxml_escapes(std::string& text);

}  // namespace jet
