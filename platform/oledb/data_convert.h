// Data conversion: exact NUMERIC values from text, decimals and integers,
// rounded ones from doubles, and the library object (IDataConvert) that
// offers them by type code.
#pragma once

#include <string>
#include <string_view>

#include "platform/oledb/oledb_interfaces.h"

// Reads a plain decimal number ("-12.345", "1e3", "  7 ") into NUMERIC(precision,
// scale). Extra decimals are rounded half away from zero, as the server does.
// DB_E_DATAOVERFLOW when the value needs more than precision - scale integer
// digits (or precision is outside 1..38, scale above precision),
// DB_E_CANTCONVERTVALUE when the text is no number.
HRESULT numeric_from_text(std::string_view text, BYTE precision, BYTE scale, DB_NUMERIC* out);
HRESULT numeric_from_decimal(const DECIMAL& value, BYTE precision, BYTE scale, DB_NUMERIC* out);
// The double's shortest text that reads back as the same double, then as above.
// DB_E_DATAOVERFLOW also for NaN and infinities.
HRESULT numeric_from_double(double value, BYTE precision, BYTE scale, DB_NUMERIC* out);
// The value as plain decimal text: "-12.340" keeps its scale's digits.
std::string numeric_to_text(const DB_NUMERIC& value);
// The largest precision a value's digits need (at least its scale, at least 1).
BYTE numeric_digits(const DB_NUMERIC& value);

// Registers the data-conversion library under CLSID_OLEDB_CONVERSIONLIBRARY
// (once per process).
void register_oledb_data_convert();
