// What a cell's number format makes of a number: a date or time, an amount of
// money, or a plain number.
#pragma once

#include <string_view>

#include "platform/dao/workbook.h"

namespace jet {

// A date format shows a day, month or year; a time format shows only the time
// of day or elapsed time (h:mm, mm:ss, [h]:mm).
enum class format_class { number, date, currency, time };

// A built-in format by its id (0-163 are reserved for built-ins).
format_class builtin_format_class(int id);

// A custom format code: a date or time when it has d, m, y, h or s, or the era
// and calendar years e, g and b (but not the keyword General nor the exponent
// E+ or E- of a number), outside quotes, brackets and escapes (the elapsed-time
// brackets [h], [mm], [ss] count too); currency when it shows a currency symbol.
format_class custom_format_class(std::string_view code);

// A number cell under its format: a date or time as an OLE date (a negative
// serial, or one beyond the OLE range, stays a number), an amount of money, or a
// plain number. The same for .xlsx and .xls workbooks.
void set_number_cell(cell& c, double number, format_class cls, bool date1904);

}  // namespace jet
