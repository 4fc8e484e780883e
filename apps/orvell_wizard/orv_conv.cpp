#include "apps/orvell_wizard/orv_conv.h"

#include <exception>

#include "SQL/sql_db.h"
#include "SQL/sql_dump.h"
#include "SQL/sql_tab.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_vali.h"
#include "apps/orvell_wizard/sql_upsizer.h"
#include "common/csv_util.h"
#include "common/error_handler.h"
#include "common/type_map.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"

namespace {

constexpr int k_version_major = 1;
constexpr int k_version_minor = 0;
constexpr const wchar_t* k_version_suffix = L"(Linux)";

const char* const k_registry_key = "Software\\Veltrask\\Orvell";

// A copy of a schema, for the refinement statements after the destination
// table has been released.
std::unique_ptr<udb_schema> copy_schema(const udb_schema& schema) {
  auto copy = std::make_unique<udb_schema>(true);
  for (const t_ftd* f : schema) copy->push_back(std::make_unique<t_ftd>(*f));
  return copy;
}

// Sends what a destination table still holds, so that its rows are in the
// table before its columns change and before it is released.
void flush_table(udb_recordset& dest) {
  if (auto* table = dynamic_cast<sql_table*>(&dest))
    table->flush();
  else if (auto* dump = dynamic_cast<dmp_recordset*>(&dest))
    dump->flush();
}

}  // namespace

orvell_converter::orvell_converter() : conversion_driver("orvell_converter"), reg_key_(k_registry_key) {
  tk_trace(2, "orvell_converter::ctor");
  serialize(false);
}

orvell_converter::~orvell_converter() {
  tk_trace(2, "orvell_converter::dtor");
  try {
    serialize(true);
  } catch (const std::exception& e) {
    tk_trace(2, "Cannot save the settings: %s", e.what());
  }
  reg_key_.close();
}

std::wstring orvell_converter::get_title() {
  return tk_wformat(L"Orvell %d.%d %s", k_version_major, k_version_minor, k_version_suffix);
}

void orvell_converter::operator()() { run_conversion(wizard_); }

std::unique_ptr<udb_validator> orvell_converter::create_tn_validator(udb_database& db, bool with_selected) {
  return engine_.create_tn_validator(run_table_names(with_selected), db.get_tables());
}

std::unique_ptr<csv_field_upsizer> orvell_converter::create_upsizer(udb_database& db, udb_recordset& dest) {
  return std::make_unique<sql_field_upsizer>(&db, &dest);
}

bool orvell_converter::skip_record(udb_record& record) { return skip_empty_rows && record.is_empty(); }

// Ends a dump file while the run can still report it: a last write that fails
// (a full disk) is an error of the run, not a trace of a destructor. A server
// database has nothing left to do.
void orvell_converter::finish_dest(udb_database& db) {
  if (auto* dump = dynamic_cast<dmp_database*>(&db)) dump->close();
}

void orvell_converter::convert_step(udb_recordset* source, udb_recordset* dest, udb_database* db,
                                    std::unique_ptr<udb_recordset>* owned_dest) {
  tk_trace(1, "orvell_converter::convert_step");
  if (!source || !dest || !db) throw tk_mail_assertion("orv_conv", 303);
  const bool refine = refine_types && mode_ != 3;
  dates_map dates(dest->get_name(), source->get_schema(), false);
  num_map numbers(dest->get_name(), source->get_schema());
  const unsigned records = copy_records(*source, *dest, *db, [&](const udb_record& record) {
    if (refine) add_rec_stat(record, dates, numbers);
  });

  // The rows still held by the table go to the server before its columns change.
  flush_table(*dest);
  const std::wstring table = dest->get_name();
  if (refine) {
    std::unique_ptr<udb_schema> schema = copy_schema(dest->get_schema());
    // A dump table writes its last rows when it is released: release it first.
    if (owned_dest) owned_dest->reset();
    // A server table changes in one statement; a dump file gets one statement
    // per column, as does a server that refuses the single one.
    run_refinement(*db, *schema, dates, numbers, direct);
  }
  if (table_observer_) table_observer_(table, records);
}

std::unique_ptr<udb_database> orvell_converter::get_dest_base() {
  tk_trace(1, "orvell_converter::get_dest_base(mode=%d)", mode_);
  if (direct) {
    tk_wtrace(2, L"mysql_converter_impl::is_mysql_base_exist( %s )", dest_.c_str());
    bool exists = engine_.is_db_exist(dest_);
    if (exists && mode_ == 0 && from_xls) {
      // "Overwrite the entire database", chosen on the file page: done now that the
      // run starts, not when it was chosen. (A CSV file fills one table; its page
      // never offers the whole database.)
      tk_wtrace(3, L"Overwriting the entire database %s", dest_.c_str());
      check_recreatable();
      del_mysql_base(dest_);
      dropped_database_ = dest_;
      try {
        return engine_.create_db(dest_);
      } catch (const sql_exception& e) {
        if (!sql_engine::is_connection_lost(e)) throw;
        throw tk_connection_lost(L"The database '" + dest_ +
                                 L"' was dropped to be replaced: its tables are gone. The connection to the MySQL "
                                 L"server was lost while creating it again (" +
                                 tk_from_utf8(e.what()) + L"). " + engine_.database_after_loss(dest_));
      }
    }
    if (exists) return engine_.open_db(dest_, UDB_MODE_APPEND, std::wstring());
    return engine_.create_db(dest_);
  }
  dump_.creator = tk_to_narrow(get_title(), CP_THREAD_ACP);
  return engine_.create_dump(dest_, dump_);
}

void orvell_converter::check_recreatable() {
  const std::string kept = "The database '" + tk_to_ansi(dest_) + "' was not dropped and keeps its tables";
  std::unique_ptr<udb_validator> validator = engine_.create_tn_validator(run_table_names(true), {});
  std::wstring table;
  if (const udb_recordset* first = first_table(*validator, table)) {
    std::unique_ptr<udb_database> opened = engine_.open_db(dest_, UDB_MODE_APPEND, std::wstring());
    std::string refusal;
    try {
      refusal = static_cast<sql_database&>(*opened).creation_trial(table, first->get_schema(), first->get_indexes());
    } catch (const tk_connection_lost& e) {
      throw tk_connection_lost(e.message() + " " + kept + ".");
    }
    if (!refusal.empty())
      throw tk_exception(kept + ": its table '" + tk_to_ansi(table) + "' cannot be created again: " + refusal, 1);
  }
  // The server checks the privilege before it finds that the database exists.
  try {
    engine_.execute(L"CREATE DATABASE IF NOT EXISTS " + engine_.quote_name(dest_));
  } catch (const sql_exception& e) {
    if (sql_engine::is_connection_lost(e))
      throw tk_connection_lost("The connection to the MySQL server was lost while the run checked that it may "
                               "create the database again (" + std::string(e.what()) + "). " + kept + ".");
    throw tk_exception(kept + ": the server does not let this user create it again: " + e.what(), 1);
  }
}

// ---- settings -----------------------------------------------------------------

bool orvell_converter::serialize(bool save) {
  tk_trace(1, "serialize( %d )", save ? 1 : 0);
  if (reg_key_.create(HKEY_CURRENT_USER, k_registry_key) != 0) return false;
  if (!save) {
    dump_.line_break = 0;
    dump_.new_version = true;
    dump_.lock_tables = true;
    dump_.insert_comments = true;
    dump_.create_database = false;
    dump_.create_table = true;
    direct = true;
    from_xls = true;
    delimiter_index = 1;
    port_ = "3306";
    refine_types = true;
    skip_empty_rows = true;
    x_fnames = true;
  }
  bool ok = true;
  DWORD line_break = dump_.line_break;
  ok &= reg_key_.exchange_dword("dmp_line_br", line_break, save);
  dump_.line_break = line_break;
  ok &= reg_key_.exchange_bool("dmp_new_ver", dump_.new_version, save);
  ok &= reg_key_.exchange_bool("dmp_loc_wri", dump_.lock_tables, save);
  ok &= reg_key_.exchange_bool("dmp_ins_com", dump_.insert_comments, save);
  ok &= reg_key_.exchange_bool("dmp_ins_db", dump_.create_database, save);
  ok &= reg_key_.exchange_bool("dmp_ins_tab", dump_.create_table, save);
  ok &= reg_key_.exchange_wstring("dest", dest_, save);
  ok &= reg_key_.exchange_bool("direct", direct, save);
  ok &= reg_key_.exchange_bool("from_xls", from_xls, save);
  ok &= reg_key_.exchange_string("host", host_, save);
  DWORD comma = static_cast<DWORD>(delimiter_index);
  ok &= reg_key_.exchange_dword("n_comma", comma, save);
  delimiter_index = comma <= 3 ? static_cast<int>(comma) : 1;
  ok &= reg_key_.exchange_string("port", port_, save);
  ok &= reg_key_.exchange_string("pswd", password_, save);
  ok &= reg_key_.exchange_bool("refine_types", refine_types, save);
  ok &= reg_key_.exchange_bool("skip_empty_rows", skip_empty_rows, save);
  ok &= reg_key_.exchange_wstring("src", src_, save);
  ok &= reg_key_.exchange_wstring("tab name", csv_table_name, save);
  ok &= reg_key_.exchange_string("user", user_, save);
  ok &= reg_key_.exchange_bool("x_fnames", x_fnames, save);
  reg_key_.close();
  return ok;
}

bool orvell_converter::store_profile(udb_profile& profile) {
  if (!udb_converter::store_profile(profile) || !mysql_converter_impl::store_profile(profile)) return false;
  const wchar_t* excel = L"MS Excel settings";
  profile.set_value(excel, L"extract field names", x_fnames ? L"1" : L"0");
  profile.set_value(excel, L"refine types", refine_types ? L"1" : L"0");
  profile.set_value(excel, L"convert from xls", from_xls ? L"1" : L"0");
  profile.set_value(L"MySQL settings", L"direct mode", direct ? L"1" : L"0");
  return true;
}

bool orvell_converter::load_profile(udb_profile& profile) {
  tk_trace(1, "orvell_converter::load_profile");
  if (!udb_converter::load_profile(profile)) return false;
  if (!mysql_converter_impl::load_profile(profile)) return false;
  auto flag = [&profile](const wchar_t* section, const wchar_t* key, bool& value) {
    std::wstring text = profile.get_value(section, key);
    if (!text.empty()) value = text == L"1";
  };
  flag(L"MS Excel settings", L"extract field names", x_fnames);
  flag(L"MS Excel settings", L"refine types", refine_types);
  flag(L"MS Excel settings", L"convert from xls", from_xls);
  flag(L"MySQL settings", L"direct mode", direct);
  if (from_xls) {
    tk_trace(1, "Duplicate selected tables in 'worksheets' array");
    std::vector<std::wstring> sheets;
    if (get_all_sheets(sheets)) set_sel_sheets(selected_table_names_, selected_queries());
  }
  return true;
}
