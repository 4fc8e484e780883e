// Values as SQL Server takes them: the guard that keeps dates and doubles
// inside the server's ranges, and the literals of INSERT statements.
#pragma once

#include <string>

#include "OLE/ole_var.h"

// A copy of the value that the server accepts: doubles closer to zero than
// 2.23e-308 or larger than 1.79e308 are moved to those bounds. A date outside
// 1753-01-01 to 9999-12-31 (wide_dates: 0001-01-01, for date and datetime2
// columns) and a double that is no finite number (NaN, infinity) cannot be
// stored: level-0 tk_exception saying so.
ole_variant mssql_get_safe_variant(const ole_variant& value, bool wide_dates = false);

// The text is a GUID as data access writes one ("{guid {...}}") or the
// braced GUID alone: braced receives the braced GUID, which is what the
// statement of such a text stores.
bool mssql_whole_guid(const std::wstring& text, std::wstring& braced);

// The T-SQL literal of a value's text for a column of type vt: N'text' with
// every quote doubled, 'yyyymmdd hh:mm:ss' for dates, 0x... or a bare number
// for binary values, the text itself for numbers. An empty text gives "''".
std::wstring to_mssql_str(const std::wstring& text, VARTYPE vt);
