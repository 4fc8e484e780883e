// One row of a MySQL result as a record of named values.
#pragma once

#include <mysql.h>

#include <string>

#include "UDB/udb_rec.h"

class sql_field : public udb_field {
public:
  // From the raw bytes of a column (numbers, dates, binary values, NULL).
  sql_field(const std::wstring& name, unsigned type, unsigned long length, unsigned flags,
            const char* bytes);
  // From the text of a column, decoded from UTF-8.
  sql_field(const std::wstring& name, unsigned type, unsigned long length, unsigned flags,
            const std::wstring& text);
};

class sql_record : public udb_record {
public:
  sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths,
             MYSQL_ROW row);
};
