// Translation between the value model and MySQL text: column type texts, the value
// types of result columns, values of result rows, SQL literals and defaults.
#pragma once

#include <string>

#include "OLE/ole_var.h"

class udb_field;
struct t_ftd;

// MySQL result-column flags used here.
constexpr unsigned sql_not_null_flag = 1;
constexpr unsigned sql_unsigned_flag = 0x20;
constexpr unsigned sql_binary_flag = 0x80;
constexpr unsigned sql_auto_increment_flag = 512;

// The column type of a CREATE TABLE statement for a field descriptor.
std::wstring get_native_type(VARTYPE vt, unsigned size, int extra);
// The value type a result column of the given type code and flags is read into.
VARTYPE mysql_type_to_vartype(unsigned type, unsigned flags);
bool is_mysql_blob_type(unsigned type);

// A value from text for the given value type; a null text is SQL NULL.
ole_variant get_variant(const char* text, VARTYPE vt);
ole_variant get_variant(const wchar_t* text, VARTYPE vt);
// A value of a result column: NULL, binary BLOB or typed text.
ole_variant get_variant(unsigned type, unsigned flags, unsigned long length, const char* text);
ole_variant get_variant(unsigned type, unsigned flags, unsigned long length, const wchar_t* text);

// The SQL literal of a value's text: NULL, quoted and escaped text, a number as it
// stands, a hexadecimal literal for binary values.
std::wstring to_mysql_str(const std::wstring& text, VARTYPE vt);
std::wstring field_to_mysql_str(const udb_field* field);
// Appends the literal to out (the same text as to_mysql_str, without temporaries).
void append_mysql_str(std::wstring& out, const std::wstring& text, VARTYPE vt);

// The DEFAULT clause's value for a descriptor, or empty when it gets none.
std::wstring make_mysql_def_val(const t_ftd* descriptor);
// The literal of one value of an INSERT row for its column.
std::wstring get_fld_append_str(const udb_field* field, const t_ftd* column);
void append_fld_str(std::wstring& out, const udb_field* field, const t_ftd* column);

// "1 row", "200 rows": a count with its noun.
std::wstring count_text(unsigned long long count, const wchar_t* noun);

// Square brackets around names become back-quotes.
std::wstring to_mysql_quotes(std::wstring text);
