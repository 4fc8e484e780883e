#include "SQL/sql_init.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_fit.h"
#include "SQL/sql_util.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

constexpr size_t max_index_columns = 16;
// The longest key of a MyISAM table, in bytes.
constexpr int max_myisam_key_bytes = 1000;

bool is_text_or_blob_key(const t_ftd& column) {
  return column.vartype == VT_BLOB || column.vartype == VT_BLOB_OBJECT ||
         (column.vartype == VT_BSTR && (column.size == 0 || column.size > 255));
}

}  // namespace

// ---------------------------------------------------------------- columns

sql_schema_initializer::sql_schema_initializer(const std::wstring& table, const udb_schema& source,
                                               const udb_indexes& indexes,
                                               std::wstring& auto_increment_name)
    : m_table(table),
      m_destination(true),
      m_auto_increment_name(auto_increment_name),
      m_indexes(indexes),
      m_validator(sql_engine::instance().create_fn_validator(source)),
      m_source(source) {
  tk_trace(2, "sql_schema_initializer::ctor");
  for (const t_ftd* field : m_source) {
    std::wstring name = field->name;
    const bool replaced = !m_validator->is_acceptable(name);
    if (replaced) name = m_validator->get_safe_name(name);
    m_destination.push_back(std::make_unique<t_ftd>(field->size, name, field->vartype,
                                                    field->not_null, field->auto_increment,
                                                    field->default_value, field->extra));
    tk_wtrace(1, L"GOT FIELD: name=%s, type=%d, flags=%d", name.c_str(), field->vartype,
              field->extra);
    if (replaced) {
      tk_wtrace(1, L"Store generated column name '%s'", name.c_str());
      m_validator->add_mapped_pair(field->name, name);
    }
    m_validator->used_names().push_back(name);
  }
  std::vector<bool> indexed;
  for (const t_ftd* field : m_source) indexed.push_back(m_indexes.is_idx_field(field->name, false));
  const sql_table_fit fit;
  if (fit.fit(m_table, m_destination, indexed))
    tk_trace(2, "Wide table: row of %d bytes", static_cast<int>(fit.row_bytes(m_destination)));
  // InnoDB refuses a table whose records may outgrow its page in the row format
  // the table gets (or that has more columns than it has room for), wide or not;
  // a server that takes it all the same refuses the rows that do.
  m_needs_myisam = !fit.innodb_holds(m_destination);
  if (m_needs_myisam)
    tk_trace(2, "InnoDB record of %d bytes, %d columns: the table is MyISAM",
             static_cast<int>(fit.innodb_record_bytes(m_destination)), static_cast<int>(m_destination.size()));
}

sql_schema_initializer::~sql_schema_initializer() = default;

bool sql_schema_initializer::can_have_auto_num(const t_ftd* descriptor) {
  tk_trace(1, "sql_schema_initializer::can_have_auto_num");
  if (!descriptor) throw tk_mail_assertion("sql_init", 65);
  switch (descriptor->vartype) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_BOOL:
    case VT_I8:
    case VT_UI8: return true;
    default: return false;
  }
}

bool sql_schema_initializer::can_have_def_value(const t_ftd* descriptor) {
  tk_trace(1, "sql_schema_initializer::can_have_def_value");
  if (!descriptor) throw tk_mail_assertion("sql_init", 79);
  if (descriptor->auto_increment) {
    tk_trace(2, "WARNING: auto_increment columns cannot have default value!");
    return false;
  }
  return !is_text_or_blob_key(*descriptor);
}

void sql_schema_initializer::get_init_chunks(std::vector<std::wstring>& chunks) {
  tk_trace(2, "sql_schema_initializer::get_init_chunks(n_columns=%d)",
           static_cast<int>(m_destination.size()));
  sql_engine& engine = sql_engine::instance();
  const unsigned version = engine.server_version();
  m_auto_increment_name.clear();
  for (size_t i = 0; i < m_destination.size(); ++i) {
    const t_ftd* column = &m_destination[i];
    const std::wstring& source_name = m_source[i].name;
    std::wstring chunk = engine.quote_name(column->name);
    chunk += L' ';
    chunk += get_native_type(column->vartype, static_cast<unsigned>(column->size), column->extra);
    if (column->vartype == VT_BSTR && version >= sql_version::v4_1_0)
      chunk += L" CHARACTER SET " + engine.charset() + L" ";
    if (column->not_null || column->auto_increment || m_indexes.is_idx_field(source_name, true) ||
        (version < sql_version::v3_23_2 && m_indexes.is_idx_field(source_name, false)))
      chunk += L" NOT NULL";
    if (can_have_def_value(column)) {
      const std::wstring def = make_mysql_def_val(column);
      tk_wtrace(1, L"got def value: %s", def.c_str());
      if (!def.empty()) chunk += L" DEFAULT " + def;
    }
    if (column->auto_increment && can_have_auto_num(column)) {
      if (!m_auto_increment_name.empty()) throw tk_mail_assertion("sql_init", 112);
      m_auto_increment_name = column->name;
      chunk += L" AUTO_INCREMENT";
    }
    chunks.push_back(std::move(chunk));
  }
}

// ---------------------------------------------------------------- indexes

sql_indexes_initializer::sql_indexes_initializer(const udb_schema& destination,
                                                 const udb_indexes& indexes,
                                                 const std::wstring& auto_increment_name,
                                                 const t_names_map& field_names, bool myisam)
    : m_auto_increment_name(auto_increment_name), m_schema(destination), m_myisam(myisam) {
  tk_trace(1, "sql_indexes_initializer::ctor");
  std::unique_ptr<udb_validator> validator = sql_engine::instance().create_in_validator(indexes);
  for (const udb_index& source : indexes) {
    udb_index index;
    index.name = source.name;
    if (!validator->is_acceptable(index.name)) {
      index.name = validator->get_safe_name(index.name);
      tk_wtrace(1, L"Store generated index name '%s'", index.name.c_str());
      validator->add_mapped_pair(source.name, index.name);
    }
    validator->used_names().push_back(index.name);
    for (const std::wstring& column : source.columns)
      index.columns.push_back(field_names.get_mapped_name(column, false));
    index.unique = source.unique;
    index.primary = source.primary;
    m_destination.push_back(std::move(index));
  }
}

void sql_indexes_initializer::get_init_chunks(std::vector<std::wstring>& chunks) {
  tk_trace(1, "sql_indexes_initializer::get_init_chunks(n_indexes=%d)",
           static_cast<int>(m_destination.size()));
  const sql_engine& engine = sql_engine::instance();
  const bool new_server = engine.server_version() >= sql_version::v4_1_0;
  const int max_key_length = new_server ? 500 : 256;
  const int max_indexes = new_server ? 31 : 15;
  const int bytes_per_char = static_cast<int>(sql_table_fit(engine.server_version()).bytes_per_char());
  bool auto_indexed = false;
  int count = 0;
  for (const udb_index& index : m_destination) {
    if (count >= max_indexes) break;
    tk_wtrace(1, L"Process index '%s'", index.name.c_str());
    if (index.columns.size() > max_index_columns) {
      tk_trace(2, "Max number of indexes has been reached");
      continue;
    }
    ++count;
    if (index.columns.empty()) continue;
    std::wstring chunk = index.primary  ? std::wstring(L"PRIMARY KEY")
                         : index.unique ? L"UNIQUE " + engine.quote_name(index.name)
                                        : L"INDEX " + engine.quote_name(index.name);
    chunk += L" (";
    bool has_auto = false, dropped = false;
    int key_length = 0, key_bytes = 0;
    for (size_t i = 0; i < index.columns.size() && !dropped; ++i) {
      const std::wstring& column = index.columns[i];
      if (i > 0) chunk += L", ";
      tk_wtrace(1, L"Process idx.field %s", column.c_str());
      if (!m_auto_increment_name.empty() && tk_wcompare_nocase(column, m_auto_increment_name) == 0)
        has_auto = true;
      chunk += engine.quote_name(column);
      const t_ftd& field = m_schema.get_field(column);
      if (is_text_or_blob_key(field)) {
        tk_trace(2, "Indexes on BLOBs are not allowed");
        dropped = true;
      } else {
        key_length += field.size;
        key_bytes += field.vartype == VT_BSTR ? field.size * bytes_per_char + 2 : field.size;
        if (key_length > max_key_length || (m_myisam && key_bytes > max_myisam_key_bytes)) {
          tk_trace(2, "Index is too big");
          dropped = true;
        }
      }
    }
    if (dropped) continue;
    // Only an index that is written indexes the AUTO_INCREMENT column.
    if (has_auto && !auto_indexed) {
      tk_trace(1, "Got index for auto_increment field");
      auto_indexed = true;
    }
    chunk += L")";
    chunks.push_back(std::move(chunk));
  }
  if (!m_auto_increment_name.empty() && !auto_indexed) {
    tk_trace(2, "Creating index for auto-field");
    std::unique_ptr<udb_validator> validator = engine.create_in_validator(m_destination);
    std::wstring name = m_auto_increment_name;
    if (!validator->is_acceptable(name) || validator->is_duplicated(name))
      name = validator->get_safe_name(name);
    chunks.push_back(L"INDEX " + engine.quote_name(name) + L" (" +
                     engine.quote_name(m_auto_increment_name) + L")");
  }
}
