// A field value as the engine delivers it, before it becomes a VARIANT.
#pragma once

#include <cstdint>
#include <string>

namespace jet {

struct value {
  enum class kind : std::uint8_t { null, boolean, integer, number, currency, date, text };
  kind type = kind::null;
  bool boolean = false;
  std::int64_t integer = 0;  // an integer, or a currency amount in ten-thousandths
  double number = 0;         // a number or an OLE date
  std::string text;          // UTF-8

  bool is_null() const { return type == kind::null; }
};

}  // namespace jet
