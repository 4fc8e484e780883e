#include "MSS/mss_db.h"

#include <unistd.h>

#include <cstdint>
#include <cwchar>
#include <list>

#include "MSS/mss_engi.h"
#include "MSS/mss_lit.h"
#include "MSS/mss_tab.h"
#include "MSS/mss_vali.h"
#include "MSS/odb_cmd.h"
#include "MSS/odb_exce.h"
#include "MSS/odb_mdat.h"
#include "MSS/odb_rec.h"
#include "MSS/odb_recs.h"
#include "OLE/ole_date.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/variant.h"
#include "platform/tds/tds_sql.h"

namespace {

const wchar_t* const fk_rules[] = {L"ON DELETE NO ACTION",   L"ON DELETE CASCADE",   L"ON DELETE SET DEFAULT",
                                   L"ON DELETE SET NULL",    L"ON UPDATE NO ACTION", L"ON UPDATE CASCADE",
                                   L"ON UPDATE SET DEFAULT", L"ON UPDATE SET NULL"};

DBPROP bool_prop(DBPROPID id, bool value) {
  DBPROP p{};
  p.dwPropertyID = id;
  p.dwOptions = DBPROPOPTIONS_REQUIRED;
  VariantInit(&p.vValue);
  p.vValue.vt = VT_BOOL;
  p.vValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return p;
}

DBID name_id(std::wstring& holder) {
  DBID id{};
  id.eKind = DBKIND_NAME;
  id.uName.pwszName = holder.data();
  return id;
}

// Property lists whose VARIANTs are cleared at the end.
struct property_lists {
  std::list<std::vector<DBPROP>> lists;
  ~property_lists() {
    for (auto& l : lists)
      for (auto& p : l) VariantClear(&p.vValue);
  }
};

ole_com_ptr<IUnknown> new_session(IDBInitialize* data_source, int line) {
  ole_com_ptr<IDBInitialize> source(data_source);
  ole_com_ptr<IDBCreateSession> factory;
  if (FAILED(source.query_interface(IID_IDBCreateSession, factory))) throw tk_mail_assertion("mss_db", line);
  ole_com_ptr<IUnknown> session;
  odb_check(factory->CreateSession(nullptr, IID_IUnknown, session.out()));
  return session;
}

// The first value of the first row a statement gives, as text (empty for
// none, or NULL).
std::wstring first_value(odb_command& command, const std::wstring& statement) {
  IRowset* rowset = nullptr;
  command.execute(statement, &rowset);
  ole_com_ptr<IRowset> holder;
  holder.attach(rowset);
  if (!rowset) return {};
  odb_recordset rows(rowset);
  holder = nullptr;
  rows.reset();
  const udb_record* row = rows.get_record();
  if (rows.is_eof() || !row || row->size() < 1) return {};
  const udb_field& value = (*row)[0];
  return value.get_vt() == VT_NULL || value.get_vt() == VT_EMPTY ? std::wstring() : value.to_wstring();
}

}  // namespace

// ---------------------------------------------------------------- odb_database

odb_database::odb_database(const std::wstring& name, IDBInitialize* data_source, IOpenRowset* session, unsigned mode)
    : udb_database(name, mode), session_(session), data_source_(data_source) {
  tk_trace(2, "odb_database::ctor");
}

odb_database::~odb_database() { tk_trace(2, "odb_database::dtor"); }

std::unique_ptr<udb_recordset> odb_database::create_table(const std::wstring& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  create_table_and_indexes(name, schema, indexes);
  return nullptr;
}

void odb_database::create_table_and_indexes(const std::wstring& name, const udb_schema& schema,
                                            const udb_indexes& indexes, bool with_indexes) {
  tk_wtrace(2, L"odb_database::create_table(%s)", name.c_str());
  ole_com_ptr<IUnknown> session = new_session(data_source_.get(), 41);
  ole_com_ptr<ITableDefinition> definition;
  if (FAILED(session.query_interface(IID_ITableDefinition, definition))) throw tk_mail_assertion("mss_db", 60);

  const int version = mss_engine::instance().get_version_code();
  std::list<std::wstring> names;  // every bracketed name, alive to the end
  std::wstring& table_name = names.emplace_back(mss_engine::instance().get_safe_tname(name));
  DBID table_id = name_id(table_name);
  tk_wtrace(1, L"Got safe table name: %s", table_name.c_str());
  tk_trace(2, "Schema size=%d", static_cast<int>(schema.size()));

  std::vector<DBCOLUMNDESC> columns(schema.size());
  std::vector<DBPROPSET> sets(schema.size());
  property_lists props;
  for (std::size_t i = 0; i < schema.size(); ++i) {
    const t_ftd& field = schema[i];
    tk_wtrace(2, L"Creating column '%s', size=%d", field.name.c_str(), field.size);
    std::vector<DBPROP>& list = props.lists.emplace_back();
    const VARTYPE vt = field.vartype;
    const bool small_int = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_UI1 ||
                           vt == VT_UI2 || vt == VT_BOOL;
    const bool big_int = vt == VT_UI4 || vt == VT_I8 || vt == VT_UINT;
    const bool auto_increment = field.auto_increment && (small_int || (version >= 3 && big_int));
    list.push_back(bool_prop(DBPROP_COL_AUTOINCREMENT, auto_increment));
    bool nullable;
    if (indexes.is_idx_field(field.name, true)) {
      tk_trace(2, "Field is a part of Primary Key");
      nullable = false;
    } else {
      nullable = !field.not_null && !auto_increment;
    }
    list.push_back(bool_prop(DBPROP_COL_NULLABLE, nullable));

    DBCOLUMNDESC& column = columns[i];
    column.dbcid = name_id(names.emplace_back(mss_bracket_name(field.name)));
    column.wType = odb_record::get_oledb_type(vt, field.size, 0, version);
    column.ulColumnSize = static_cast<DBLENGTH>(field.size < 0 ? 0 : field.size);
    tk_trace(1, "Binding column #%d (%d, %d)", static_cast<int>(i), static_cast<int>(column.wType), field.size);
    if (vt == VT_DECIMAL) {
      int precision = (field.extra >> 8) & 0xFF, scale = field.extra & 0xFF;
      tk_trace(1, "Scale/precision for decimal column: (%d, %d)", scale, precision);
      // Without a precision the column takes any value the source can hold.
      if (precision == 0 || precision > 38 || scale > precision) {
        precision = 38;
        scale = 10;
      }
      column.bPrecision = static_cast<BYTE>(precision);
      column.bScale = static_cast<BYTE>(scale);
    }
    const bool long_type = column.wType == DBTYPE_STR || column.wType == DBTYPE_WSTR || column.wType == DBTYPE_BYTES;
    if (field.size == 0 && long_type) {
      tk_trace(1, "Got MEMO/BLOB field");
      column.ulColumnSize = 8001;
    } else if (!field.auto_increment && column.wType != DBTYPE_BYTES) {
      set_def_value(field, list);
    }
    sets[i] = DBPROPSET{list.data(), static_cast<ULONG>(list.size()), DBPROPSET_COLUMN};
    column.rgPropertySets = &sets[i];
    column.cPropertySets = 1;
  }
  tk_trace(2, "Right before creating the table");
  ole_com_ptr<IUnknown> rowset;
  odb_check(definition->CreateTable(nullptr, &table_id, static_cast<DBORDINAL>(columns.size()), columns.data(),
                                    IID_IUnknown, 0, nullptr, nullptr, rowset.out()));
  rowset = nullptr;
  if (!with_indexes) return;

  ole_com_ptr<IIndexDefinition> index_definition;
  if (FAILED(session.query_interface(IID_IIndexDefinition, index_definition))) throw tk_mail_assertion("mss_db", 207);
  for (const udb_index& index : indexes) {
    tk_wtrace(2, L"Creating index '%s'", index.name.c_str());
    std::wstring& index_name =
        names.emplace_back(mss_bracket_name(index.primary ? mss_database::primary_key_name(name) : index.name));
    DBID index_id = name_id(index_name);
    std::vector<DBINDEXCOLUMNDESC> index_columns;
    std::list<DBID> column_ids;
    int total = 0;
    bool skip = false;
    for (std::size_t k = 0; k < index.columns.size() && !skip; ++k) {
      const std::wstring& column = index.columns[k];
      tk_wtrace(1, L"Process field #%d - '%s'", static_cast<int>(k), column.c_str());
      if (!schema.find_field(column)) {
        skip = true;
        break;
      }
      int size = schema.get_field_size(column);
      const VARTYPE vt = schema.get_field_type(column);
      if (vt == VT_BSTR) size *= 2;
      tk_trace(1, "vt=%08X, size=%d", static_cast<unsigned>(vt), size);
      total += size;
      tk_trace(1, "Total index size=%d", total);
      if (total > 900 || vt == VT_BOOL ||
          ((vt == VT_BSTR || vt == VT_BLOB || vt == VT_BLOB_OBJECT) && (size == 0 || size > 8000))) {
        skip = true;
        break;
      }
      DBID& id = column_ids.emplace_back(name_id(names.emplace_back(mss_bracket_name(column))));
      index_columns.push_back(DBINDEXCOLUMNDESC{&id, DBINDEX_COL_ORDER_ASC});
    }
    if (skip || index_columns.empty()) {
      tk_wtrace(3, L"Index '%s' has been skipped", index.name.c_str());
      tk_wtrace(2, L"Skip index '%s'", index.name.c_str());
      continue;
    }
    std::vector<DBPROP> index_props;
    if (index.primary) {
      index_props.push_back(bool_prop(DBPROP_INDEX_CLUSTERED, true));
      index_props.push_back(bool_prop(DBPROP_INDEX_PRIMARYKEY, true));
    } else if (index.unique) {
      index_props.push_back(bool_prop(DBPROP_INDEX_UNIQUE, true));
    }
    DBPROPSET index_set{index_props.data(), static_cast<ULONG>(index_props.size()), DBPROPSET_INDEX};
    try {
      odb_check(index_definition->CreateIndex(&table_id, &index_id, static_cast<DBORDINAL>(index_columns.size()),
                                              index_columns.data(), 1, &index_set, nullptr));
    } catch (const odb_exception& e) {
      if ((e.get_code() & 0xFFFF) == 0x0E34) continue;  // the index exists already
      if (mss_is_connection_failure(e)) throw;
      tk_trace(2, "Index creation failed: %s", e.what());
      if (!error_handler::exists()) continue;
      error_handler::instance().set_context(name);
      error_handler::instance().handle(e, false);
    }
  }
}

void odb_database::set_def_value(const t_ftd& field, std::vector<DBPROP>& properties) {
  tk_trace(1, "odb_database::set_def_value");
  const VARTYPE vt = field.vartype;
  const std::wstring text = field.default_value.get_vt() == VT_EMPTY || field.default_value.get_vt() == VT_NULL
                                ? std::wstring()
                                : field.default_value.to_wstring();
  tk_wtrace(1, L"Got default value: %s", text.c_str());
  if (text.empty()) return;
  DBPROP p{};
  p.dwPropertyID = DBPROP_COL_DEFAULT;
  p.dwOptions = DBPROPOPTIONS_REQUIRED;
  VariantInit(&p.vValue);
  try {
    ole_variant value;
    if (vt == VT_DATE)
      value = ole_date(text).to_variant();
    else
      value.from_wstring(text, vt);
    if (value.get_vt() == VT_EMPTY) {
      tk_trace(2, "Invalid default value");
      return;
    }
    const ole_variant safe = mssql_get_safe_variant(value);
    const std::wstring safe_text = safe.to_wstring();
    tk_wtrace(2, L"Got safe default value: %s", safe_text.c_str());
    if (vt == VT_BSTR || vt == VT_DATE) {
      // An expression: a Unicode literal, or a date in the form every language setting reads.
      p.vValue.vt = VT_BSTR;
      p.vValue.bstrVal = bstr_from(vt == VT_BSTR ? tsql_string(text) : to_mssql_str(safe_text, VT_DATE));
    } else {
      VariantCopy(&p.vValue, &safe.get_variant());
    }
  } catch (const tk_exception&) {
    tk_trace(2, "Invalid default value");
    return;
  }
  properties.push_back(p);
}

bool odb_database::delete_tab(const std::wstring& name) {
  tk_wtrace(2, L"odb_database::delete_tab(%s)", name.c_str());
  try {
    drop_table(name);
  } catch (const odb_exception& e) {
    if (mss_is_lock_timeout(e))
      throw tk_table_exception(mss_lock_text(name, tk_from_ansi(e.what())) + L" The table is left as it is.");
    if (!mss_is_connection_failure(e)) throw;
    // The DROP may have been done: a new connection looks.
    throw tk_connection_lost(lost_text(L"dropping", name, e));
  }
  return udb_database::delete_tab(name);
}

odb_database::table_state odb_database::find_table_state(const std::wstring& name) {
  const std::wstring table = mss_engine::instance().get_safe_tname(name);
  table_state state;
  try {
    odb_command command(data_source_.get());
    if (first_value(command, L"SELECT OBJECT_ID(" + tsql_string(table) + L")").empty()) {
      state.kind = table_state::absent;
      return state;
    }
    state.rows = std::wcstoll(first_value(command, L"SELECT COUNT(*) FROM " + table).c_str(), nullptr, 10);
    state.kind = table_state::present;
  } catch (const tk_exception& e) {
    state.why = tk_from_ansi(e.what());
  }
  return state;
}

std::wstring odb_database::lost_text(const std::wstring& doing, const std::wstring& name, const odb_exception& error) {
  const table_state state = find_table_state(name);
  const bool dropping = doing == L"dropping";
  std::wstring text = L"The connection to the server was lost while " + doing + L" table '" + name + L"' (" +
                      tk_from_ansi(error.what()) + L"): ";
  switch (state.kind) {
    case table_state::absent:
      return text + (dropping ? L"the table was dropped, and its rows are gone." : L"no table '" + name + L"' exists.");
    case table_state::present:
      if (dropping) return text + L"the table still exists with its " + std::to_wstring(state.rows) + L" rows.";
      return text + L"table '" + name + L"' exists" +
             (state.rows ? L" with " + std::to_wstring(state.rows) + L" rows." : std::wstring(L", empty."));
    case table_state::unknown: break;
  }
  return text + (dropping ? L"whether the table was dropped" : L"what exists of table '" + name + L"'") +
         L" cannot be told (" + state.why + L").";
}

void odb_database::drop_table(const std::wstring& name) {
  ole_com_ptr<IUnknown> session = new_session(data_source_.get(), 323);
  ole_com_ptr<ITableDefinition> definition;
  if (FAILED(session.query_interface(IID_ITableDefinition, definition))) throw tk_mail_assertion("mss_db", 334);
  std::wstring id_text = mss_engine::instance().get_safe_tname(name);
  DBID id = name_id(id_text);
  odb_check(definition->DropTable(&id));
}

bool odb_database::test_query(const std::wstring& statement) {
  try {
    odb_command command(session_.get());
    IRowset* rowset = nullptr;
    command.execute(statement, &rowset);
    if (rowset) rowset->Release();
    return true;
  } catch (...) {
    return false;
  }
}

std::unique_ptr<udb_recordset> odb_database::query(const std::wstring& statement) {
  tk_wtrace(1, L"odb_database::query(%s)", statement.c_str());
  odb_command command(session_.get());
  IRowset* rowset = nullptr;
  command.execute(statement, &rowset);
  ole_com_ptr<IRowset> holder;
  holder.attach(rowset);
  auto result = std::make_unique<odb_recordset>(rowset);
  if (rowset) result->reset();
  return result;
}

// ---------------------------------------------------------------- mss_database

mss_database::mss_database(const std::wstring& name, IDBInitialize* data_source, IOpenRowset* session, unsigned mode)
    : odb_database(name, data_source, session, mode) {
  const mss_engine& engine = mss_engine::instance();
  tk_wtrace(2, L"mss_database::ctor(%s)", name.c_str());
  tk_wtrace(2, L"user=%s", engine.get_login().c_str());
  // The owner of the tables this login creates, as get_safe_tname names it.
  const std::wstring owner = engine.get_table_owner();
  tk_trace(2, "Step  #1");
  odb_tl_meta_data list(owner, session);
  for (list.reset(); !list.is_eof(); list.next()) {
    const udb_record& row = *list.get_record();
    if (row.size() < 3) throw std::out_of_range("a table list row without a name");
    const std::wstring table = row[2].to_wstring();
    tk_wtrace(2, L"Got table: (%s, %s)", table.c_str(), row[1].to_wstring().c_str());
    tables_.push_back(table);
  }
  tk_trace(2, "Tables count: %d", static_cast<int>(tables_.size()));
}

mss_database::~mss_database() { tk_trace(2, "mss_database::dtor"); }

void mss_database::fit_names(const udb_schema& schema, const udb_indexes& indexes, udb_names_map::name_map& renamed,
                             udb_schema& fitted, udb_indexes& fitted_indexes) {
  renamed = fitting_column_names(schema);
  if (renamed.empty()) return;
  auto fit = [&renamed](const std::wstring& column) {
    const auto found = renamed.find(column);
    return found == renamed.end() ? column : found->second;
  };
  for (const t_ftd* f : schema)
    fitted.push_back(std::make_unique<t_ftd>(f->size, fit(f->name), f->vartype, f->not_null, f->auto_increment,
                                             f->default_value, f->extra));
  for (udb_index index : indexes) {
    for (auto& column : index.columns) column = fit(column);
    fitted_indexes.push_back(index);
  }
}

std::unique_ptr<udb_recordset> mss_database::create_table(const std::wstring& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_wtrace(2, L"mss_database::create_table(%s)", name.c_str());
  if (mode_ & UDB_MODE_READ_ONLY) throw tk_mail_assertion("mss_db", 554);
  // Column names the server cannot hold are shortened; the table finds the
  // source's fields by the names map.
  udb_names_map::name_map renamed;
  udb_schema fitted;
  udb_indexes fitted_indexes;
  fit_names(schema, indexes, renamed, fitted, fitted_indexes);
  if (!renamed.empty()) names_map_.add_fn_map(name, renamed);
  const udb_schema& columns = renamed.empty() ? schema : fitted;
  const udb_indexes& keys = renamed.empty() ? indexes : fitted_indexes;
  const bool exists = is_table_exist(name);
  std::unique_ptr<udb_recordset> table;
  try {
    if (!((mode_ & UDB_MODE_APPEND) && exists)) {
      if (exists) throw tk_mail_assertion("mss_db", 561);
      create_table_and_indexes(name, columns, keys);
      tables_.push_back(name);
    }
    table = get_table(name, 2);
  } catch (const odb_exception& e) {
    // What stands of the table now, as a new connection finds it.
    if (mss_is_connection_failure(e)) throw tk_connection_lost(lost_text(exists ? L"opening" : L"creating", name, e));
    throw;
  }
  if (!table) return nullptr;
  table->clean_indexes();
  for (const udb_index& index : keys) table->add_index(index);
  return table;
}

void mss_database::try_create_table(const std::wstring& name, const udb_schema& schema, const udb_indexes& indexes) {
  tk_wtrace(2, L"mss_database::try_create_table(%s)", name.c_str());
  const std::wstring kept = L"Table '" + name + L"' was not replaced and keeps its rows: ";
  std::wstring refusal;
  try {
    refusal = creation_trial(name, schema, indexes);
  } catch (const tk_connection_lost& e) {
    throw tk_connection_lost(kept + tk_from_ansi(e.what()));
  }
  if (!refusal.empty()) throw tk_table_exception(kept + refusal);
}

std::wstring mss_database::creation_trial(const std::wstring& name, const udb_schema& schema,
                                          const udb_indexes& indexes) {
  udb_names_map::name_map renamed;
  udb_schema fitted;
  udb_indexes fitted_indexes;
  fit_names(schema, indexes, renamed, fitted, fitted_indexes);
  // A name of the owner's that no table has.
  std::wstring trial;
  for (unsigned n = 0; trial.empty() || is_table_exist(trial); ++n)
    trial = L"orv_trial_" + std::to_wstring(::getpid()) + L"_" + std::to_wstring(n);
  // A lost connection is no refusal: the trial table, made or not, is
  // dropped on a new connection (or named when it cannot be).
  auto lost = [&](const odb_exception& e) {
    std::wstring text = L"the connection to the server was lost while table '" + name + L"' was tried under the name '" +
                        trial + L"' (" + tk_from_ansi(e.what()) + L"); ";
    table_state state = find_table_state(trial);
    if (state.kind == table_state::present) {
      try {
        drop_table(trial);
        state.kind = table_state::absent;
      } catch (const odb_exception& again) {
        state.kind = table_state::unknown;
        state.why = tk_from_ansi(again.what());
      }
    }
    text += state.kind == table_state::absent
                ? L"no trial table is left."
                : L"the trial table '" + trial + L"' may be left in the database (" + state.why + L").";
    return tk_connection_lost(text);
  };
  // The table as create_table makes it; its indexes, whose failures never
  // stop a table, are left out.
  try {
    create_table_and_indexes(trial, renamed.empty() ? schema : fitted, renamed.empty() ? indexes : fitted_indexes,
                             false);
  } catch (const odb_exception& e) {
    if (mss_is_connection_failure(e)) throw lost(e);
    // The server's reason names the trial: it is the table's.
    std::wstring reason = tk_from_ansi(e.what());
    for (std::size_t at = reason.find(trial); at != std::wstring::npos; at = reason.find(trial, at + name.size()))
      reason.replace(at, trial.size(), name);
    return reason;
  }
  try {
    drop_table(trial);
  } catch (const odb_exception& e) {
    if (mss_is_connection_failure(e)) throw lost(e);
    return L"its trial table '" + trial + L"' could not be dropped again: " + tk_from_ansi(e.what());
  }
  return {};
}

udb_names_map::name_map mss_database::fitting_column_names(const udb_schema& schema) {
  udb_names_map::name_map renamed;
  mss_validator names;
  for (const t_ftd* f : schema) names.used_names().push_back(f->name);
  for (const t_ftd* f : schema) {
    if (mss_name_length(f->name) <= mss_max_name_length && !mss_has_refused_char(f->name)) continue;
    const std::wstring name = names.get_safe_name(f->name);
    tk_wtrace(2, L"Column '%s' is created as '%s'", f->name.c_str(), name.c_str());
    names.used_names().push_back(name);
    renamed.emplace(f->name, name);
  }
  return renamed;
}

std::wstring mss_database::primary_key_name(const std::wstring& table) {
  const std::wstring name = L"PK_" + table;
  if (mss_name_length(name) <= mss_max_name_length) return name;
  // Shortened, with a digest of the whole table name that keeps it apart from
  // the keys of tables whose names begin alike.
  std::uint32_t digest = 2166136261u;
  for (wchar_t c : table) digest = (digest ^ static_cast<std::uint32_t>(c)) * 16777619u;
  wchar_t suffix[16];
  std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L"_%08X", static_cast<unsigned>(digest));
  return mss_cut_name(name, mss_max_name_length - 9) + suffix;
}

std::unique_ptr<udb_recordset> mss_database::get_table(const std::wstring& name, int mode) {
  tk_wtrace(1, L"mss_database::get_table(%s)", name.c_str());
  try {
    return std::make_unique<mss_table>(mss_engine::instance().get_safe_tname(name), session_.get(), mode, *this);
  } catch (const odb_exception& e) {
    // Its rows cannot even be counted.
    if (mss_is_lock_timeout(e))
      throw tk_table_exception(mss_lock_text(name, tk_from_ansi(e.what())) + L" Nothing is written to the table.");
    throw;
  }
}

std::unique_ptr<udb_recordset> mss_database::get_query(const std::wstring& name, const std::wstring& query) {
  tk_wtrace(1, L"mss_database::get_table(%s: %s)", name.c_str(), query.c_str());
  return std::make_unique<mss_table>(name, query, session_.get(), *this);
}

bool mss_database::is_valid_fk_props(const std::wstring& rule) {
  tk_wtrace(2, L"mss_database::is_valid_fk_props(%s)", rule.c_str());
  for (const wchar_t* clause : fk_rules)
    if (tk_wcompare_nocase(rule, clause) == 0) return true;
  return false;
}

std::wstring mss_database::fk_statement(const udb_relationship& key, int version_code, const std::wstring& owner) {
  auto table = [&owner](const std::wstring& name) {
    return owner.empty() ? mss_bracket_name(name) : mss_bracket_name(owner) + L"." + mss_bracket_name(name);
  };
  auto list = [](const std::vector<std::wstring>& columns) {
    std::wstring out;
    for (const auto& c : columns) {
      if (!out.empty()) out += L", ";
      out += mss_bracket_name(c);
    }
    return out;
  };
  std::wstring statement = L"ALTER TABLE " + table(key.table) + L" ADD CONSTRAINT " + mss_bracket_name(key.name) +
                           L" FOREIGN KEY (" + list(key.columns) + L") REFERENCES " + table(key.ref_table) + L"(" +
                           list(key.ref_columns) + L")";
  const std::wstring rule = tk_trim(key.rule);
  if (!rule.empty() && is_valid_fk_props(rule)) {
    // NO ACTION and CASCADE from SQL Server 2000 on, SET NULL and SET DEFAULT from 2005 on.
    const bool set_rule = rule.find(L"SET") != std::wstring::npos || rule.find(L"set") != std::wstring::npos;
    if (version_code >= (set_rule ? MSS_VERSION_2005 : MSS_VERSION_2000)) statement += L" " + rule;
  }
  return statement;
}

void mss_database::create_relationships(const udb_relationships& relationships) {
  tk_trace(2, "mss_database::create_relationships");
  tk_trace(3, "Converting foreign keys");
  if (mode_ & UDB_MODE_APPEND) {
    tk_trace(3, "Foreign keys are not converted in append mode");
    return;
  }
  const int version = mss_engine::instance().get_version_code();
  const std::wstring owner = mss_engine::instance().get_table_owner();
  for (const udb_relationship& key : relationships) {
    tk_wtrace(3, L"Processing '%s'", key.name.c_str());
    udb_relationship mapped = key;
    mapped.table = names_map_.get_tn_mapped_name(key.table, true);
    mapped.ref_table = names_map_.get_tn_mapped_name(key.ref_table, true);
    for (auto& c : mapped.columns) c = names_map_.get_fn_mapped_name(key.table, c, true);
    for (auto& c : mapped.ref_columns) c = names_map_.get_fn_mapped_name(key.ref_table, c, true);
    query(fk_statement(mapped, version, owner));
  }
}
