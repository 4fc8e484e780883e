// Values of rowsets in their OLE DB form, and their conversions: to the type
// a consumer binds, to text, and between db-lib's NUMERIC and OLE DB's.
#pragma once

#include <string>

#include "platform/oledb/oledb_interfaces.h"
#include "platform/tds/tds_link.h"

// db-lib's numeric (precision, scale, sign byte then the magnitude big endian).
void tds_numeric_from_db(const BYTE* db_numeric, DB_NUMERIC* out);
// Fills db-lib's numeric of the given precision and scale; the value must
// already have that scale.
void tds_numeric_to_db(const DB_NUMERIC& value, BYTE* db_numeric);

// The value's text: numbers in C-locale form (doubles with the digits that
// read back exactly), dates "2004-05-06 12:34:56[.fff]", GUIDs braced.
std::u16string tds_cell_text(const tds_column& column, const tds_cell& cell);

// Writes one cell into a consumer's binding (value, length and status parts
// as the binding has them). Returns the status written.
DBSTATUS tds_cell_to_binding(const tds_column& column, const tds_cell& cell, const DBBINDING& binding, BYTE* row);

// The code page of char, varchar and text columns whose collation the
// server does not tell (SQL Server 7), and of their bytes in a bulk load then.
constexpr unsigned tds_default_code_page = 1252;

// Text in a Windows code page (1252, 1251, 932, ...): false when a character
// has no bytes there that read back as itself (unheld: the first such, as
// text); the server would store a near character or '?' for it. Text of
// ASCII alone is the same bytes in every code page.
bool tds_narrow(std::u16string_view text, unsigned code_page, std::string& out, std::u16string* unheld = nullptr);
std::u16string tds_widen(std::string_view bytes, unsigned code_page);
// "The value '...' of column 'c' has a character that the column's code page
// (1251) cannot hold: '...'."
std::wstring tds_unheld_text(std::wstring_view value, std::wstring_view column, unsigned code_page,
                             std::u16string_view unheld);

// "2004-05-06", "2004-05-06 12:34:56", "2004-05-06T12:34:56.789" or
// "12:34:56[.fff]" (on 1900-01-01), surrounding blanks allowed; false for
// any other text or a date or time that does not exist.
bool tds_timestamp_from_text(std::u16string_view text, DBTIMESTAMP& out);
// A GUID written with or without braces.
bool tds_guid_from_text(std::u16string_view text, GUID& out);
// A number text for a column of the type (an integer type, bit, money,
// numeric of the precision and scale) as the provider reads it: exact decimal
// text with blanks around, rounded to the column's scale (money's is 4, an
// integer type's and bit's 0); an integer type takes no fraction or exponent,
// as the server reads such a text, bit takes "true" and "false" too.
// DB_E_CANTCONVERTVALUE, DB_E_DATAOVERFLOW.
HRESULT tds_number_from_text(std::string_view text, DBTYPE type, BYTE precision, BYTE scale, DB_NUMERIC& out);
