#include "SQL/sql_rec.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

sql_field::sql_field(const std::wstring& name, unsigned type, unsigned long length, unsigned flags,
                     const char* bytes)
    : udb_field(name, static_cast<int>(length), ::get_variant(type, flags, length, bytes)) {
  tk_wtrace(1, L"sql_field::ctor1(%s,%d,%d)", name.c_str(), type, static_cast<int>(length));
}

sql_field::sql_field(const std::wstring& name, unsigned type, unsigned long length, unsigned flags,
                     const std::wstring& text)
    : udb_field(name, static_cast<int>(length),
                ::get_variant(type, flags, text.size(), text.c_str())) {
  tk_wtrace(1, L"sql_field::ctor2(%s,%d,%d)", name.c_str(), type, static_cast<int>(length));
}

sql_record::sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths,
                       MYSQL_ROW row) {
  tk_trace(1, "sql_record::ctor (n_fields=%d)", n_fields);
  if (!fields || !lengths || !row) throw tk_mail_assertion("sql_rec", 17);
  const bool blob_as_text = sql_engine::instance().blob_as_text();
  for (unsigned i = 0; i < n_fields; ++i) {
    const MYSQL_FIELD& column = fields[i];
    const unsigned type = column.type;
    const bool binary = (column.flags & sql_binary_flag) != 0;
    tk_trace(1, "field #%d has type %d", i, type);
    tk_trace(1, "BINARY FLAG=%d", column.flags & sql_binary_flag);
    const std::wstring name = tk_from_utf8(std::string(column.name, column.name_length));
    const bool text = row[i] && (type == MYSQL_TYPE_VAR_STRING || type == MYSQL_TYPE_STRING ||
                                 (is_mysql_blob_type(type) && (!binary || blob_as_text)));
    if (text) {
      tk_trace(1, "Extract as Unicode");
      add_field(std::make_unique<sql_field>(name, type, lengths[i], column.flags,
                                            tk_from_utf8(std::string(row[i], lengths[i]))));
    } else {
      tk_trace(1, "Extract as ANSI");
      add_field(std::make_unique<sql_field>(name, type, lengths[i], column.flags, row[i]));
    }
  }
}
