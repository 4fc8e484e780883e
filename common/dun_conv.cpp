#include "common/dun_conv.h"

#include <cstdio>
#include <exception>

#include "MSS/mss_db.h"
#include "MSS/mss_floa.h"
#include "MSS/odb_exce.h"
#include "MSS/mss_tab.h"
#include "MSS/mss_vali.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "common/error_handler.h"
#include "common/init_conv.h"
#include "common/mss_upsizer.h"
#include "dao/dao_db.h"

namespace {

const char* const k_registry_key = "Software\\Veltrask\\Dunmere";
const wchar_t* const k_excel = L"MS Excel settings";

}  // namespace

dunmere_convertor::dunmere_convertor() : conversion_driver("dunmere_convertor"), reg_key_(k_registry_key) {
  tk_trace(2, "dunmere_convertor::ctor");
  serialize(false);
}

dunmere_convertor::dunmere_convertor(console_variant)
    : conversion_driver("dunmere_convertor"), console_(true), reg_key_(k_registry_key) {
  tk_trace(2, "dunmere_convertor::ctor");
  from_xls = true;
  x_fnames = false;
  refine_types = true;
  delimiter_index = -1;
}

dunmere_convertor::~dunmere_convertor() {
  tk_trace(2, "dunmere_convertor::dtor");
  if (!console_) {
    try {
      serialize(true);
    } catch (const std::exception& e) {
      tk_trace(2, "Cannot save the settings: %s", e.what());
    }
  }
  reg_key_.close();
}

std::wstring dunmere_convertor::get_title() {
  return tk_wformat(L"Dunmere %d.%d %s", version_major, version_minor, L"(Linux)");
}

void dunmere_convertor::operator()() { run_conversion(console_ ? nullptr : wizard_); }

void dunmere_convertor::print(const std::string& line) const {
  if (is_silent()) return;
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
}

void dunmere_convertor::report_failure(const std::exception& e) {
  if (!console_) return conversion_driver::report_failure(e);
  tk_trace(3, "ERROR:\n%s", e.what());
  if (error_handler* handler = error_handler::instance_ptr()) handler->count_error();
  if (!is_silent()) {
    std::fprintf(stderr, "%s\n", e.what());
    std::fflush(stderr);
  }
}

std::unique_ptr<udb_validator> dunmere_convertor::create_tn_validator(udb_database& db, bool with_selected) {
  return std::make_unique<mss_tn_validator>(run_table_names(with_selected), db.get_tables());
}

std::unique_ptr<csv_field_upsizer> dunmere_convertor::create_upsizer(udb_database& db, udb_recordset& dest) {
  return std::make_unique<mss_field_upsizer>(&db, &dest);
}

void dunmere_convertor::before_worksheets(dao_database& source) {
  // The console with neither a worksheet listed nor a query selected, whose
  // workbook could not be listed when its command line was read: every
  // worksheet. A list of which none was found converts nothing (the run ends
  // with its error), and selected queries alone convert those queries.
  if (!console_ || !sheets_.empty() || !named_sheets().empty()) return;
  std::vector<std::wstring> all;
  get_all_sheets(source, all);
}

void dunmere_convertor::on_spreadsheet(unsigned worksheets) {
  if (console_)
    print("Converting spreadsheet " + tk_to_narrow(src_, CP_THREAD_ACP) + "(" + std::to_string(worksheets) +
          " worksheets)");
}

void dunmere_convertor::on_csv_file() {
  if (console_) print("Converting CSV file " + tk_to_narrow(src_, CP_THREAD_ACP));
}

void dunmere_convertor::on_worksheet(const std::wstring& name) {
  if (console_) print("Converting worksheet " + tk_to_narrow(name, CP_THREAD_ACP));
}

void dunmere_convertor::convert_step(udb_recordset* source, udb_recordset* dest, udb_database* db,
                                     std::unique_ptr<udb_recordset>*) {
  tk_trace(1, "dunmere_convertor::convert_step");
  if (!source || !dest || !db) throw tk_mail_assertion("dun_conv", 270);
  const unsigned records = copy_records(*source, *dest, *db);
  // What the bulk load still holds goes to the server now, where a failure
  // can be reported, not when the table is released.
  if (auto* table = dynamic_cast<mss_table*>(dest)) table->flush();
  if (table_observer_) table_observer_(dest->get_name(), records);
}

bool dunmere_convertor::check_dest() {
  tk_wtrace(1, L"check_dest(%s)", dest_.c_str());
  bool exists = engine_.is_db_exist(dest_);
  if (exists && mode_ == 0) {
    replace_database();
    exists = false;
  }
  if (from_xls) {
    tk_trace(1, "from_xls=true");
    return exists;
  }
  tk_trace(1, "from_xls=false");
  // A database that does not exist yet is created by the run: there is no
  // table to look for.
  if (mode_ != 1 || !exists) return exists;
  std::unique_ptr<udb_database> db = engine_.open_db(dest_, UDB_MODE_OVERWRITE);
  if (db->is_table_exist(csv_table_name)) {
    // Dropped only when the server would create it again.
    mss_tn_validator validator({}, {});
    std::wstring table;
    if (const udb_recordset* csv = first_table(validator, table))
      db->try_create_table(csv_table_name, csv->get_schema(), csv->get_indexes());
    db->delete_tab(csv_table_name);
    dropped_csv_table_ = true;
  }
  return true;
}

void dunmere_convertor::replace_database() {
  const std::wstring kept = L"The database '" + dest_ + L"' was not dropped and keeps its tables: ";
  // The run's first table (the CSV file's, or the first worksheet that opens:
  // one that does not is reported by the run) is tried in the database first,
  // and the login must be one that may create the database again.
  mss_tn_validator validator(run_table_names(true), {});
  std::wstring table;
  if (const udb_recordset* first = first_table(validator, table)) {
    std::unique_ptr<mss_database> db = engine_.open_db(dest_, UDB_MODE_OVERWRITE);
    std::wstring refusal;
    try {
      refusal = db->creation_trial(table, first->get_schema(), first->get_indexes());
    } catch (const tk_connection_lost& e) {
      throw tk_connection_lost(kept + tk_from_ansi(e.what()));
    }
    if (!refusal.empty()) throw tk_exception(kept + L"its table '" + table + L"' cannot be created again: " + refusal, 1);
  }
  bool may_create = false;
  try {
    may_create = engine_.may_create_database();
  } catch (const tk_exception& e) {
    throw tk_exception(kept + L"whether the login may create it again cannot be told: " + tk_from_ansi(e.what()), 1);
  }
  if (!may_create)
    throw tk_exception(kept + L"the login may not create it again (CREATE DATABASE needs the permission CREATE ANY "
                              L"DATABASE, CREATE DATABASE in master, or the dbcreator role)",
                       1);
  tk_wtrace(3, L"Overwriting the entire database %s", dest_.c_str());
  engine_.delete_db(dest_);
  dropped_database_ = dest_;
}

std::unique_ptr<udb_database> dunmere_convertor::get_dest_base() {
  tk_trace(1, "dunmere_convertor::get_dest_base(mode=%d)", mode_);
  // Called once the source is open: a source that cannot be read costs nothing.
  bool exists = console_ ? check_dest() : engine_.is_db_exist(dest_);
  if (exists && mode_ == 0 && from_xls) {
    // "Overwrite the entire database", chosen on the wizard's file page: done now
    // that the run starts, not when it was chosen.
    replace_database();
    exists = false;
  }
  try {
    if (exists) return engine_.open_db(dest_, UDB_MODE_APPEND);
    return engine_.create_db(dest_);
  } catch (const tk_connection_lost& e) {
    throw lost_after_drop(e, dropped_csv_table_ ? csv_table_name : std::wstring());
  } catch (const odb_exception& e) {
    // After a drop, the error says what was dropped.
    if (!mss_is_connection_failure(e) || (dropped_database_.empty() && !dropped_csv_table_)) throw;
    throw lost_after_drop(tk_connection_lost(L"The connection to the server was lost while opening database '" + dest_ +
                                             L"' (" + tk_from_ansi(e.what()) + L")."),
                          dropped_csv_table_ ? csv_table_name : std::wstring());
  }
}

// ---- settings -----------------------------------------------------------------

bool dunmere_convertor::serialize(bool save) {
  tk_trace(1, "serialize( %d )", save ? 1 : 0);
  if (reg_key_.create(HKEY_CURRENT_USER, k_registry_key) != 0) return false;
  if (!save) {
    from_xls = true;
    delimiter_index = 1;
    refine_types = true;
    login_.windows_authentication = true;
    x_fnames = true;
  }
  bool ok = true;
  ok &= reg_key_.exchange_wstring("dest", dest_, save);
  ok &= reg_key_.exchange_bool("from_xls", from_xls, save);
  ok &= reg_key_.exchange_wstring("host", login_.server, save);
  DWORD comma = static_cast<DWORD>(delimiter_index);
  ok &= reg_key_.exchange_dword("n_comma", comma, save);
  delimiter_index = comma <= 3 ? static_cast<int>(comma) : 1;
  ok &= reg_key_.exchange_wstring("pswd", login_.password, save);
  ok &= reg_key_.exchange_bool("refine_types", refine_types, save);
  ok &= reg_key_.exchange_bool("sec_log", login_.windows_authentication, save);
  ok &= reg_key_.exchange_wstring("src", src_, save);
  ok &= reg_key_.exchange_wstring("tab name", csv_table_name, save);
  ok &= reg_key_.exchange_wstring("user", login_.login, save);
  ok &= reg_key_.exchange_bool("x_fnames", x_fnames, save);
  reg_key_.close();
  return ok;
}

bool dunmere_convertor::store_profile(udb_profile& profile) {
  if (!udb_converter::store_profile(profile) || !mssql_converter_impl::store_profile(profile)) return false;
  profile.set_value(k_excel, L"extract field names", x_fnames ? L"1" : L"0");
  profile.set_value(k_excel, L"refine types", refine_types ? L"1" : L"0");
  profile.set_value(k_excel, L"convert from xls", from_xls ? L"1" : L"0");
  return true;
}

bool dunmere_convertor::load_profile(udb_profile& profile) {
  tk_trace(1, "dunmere_convertor::load_profile");
  if (!udb_converter::load_profile(profile) || !mssql_converter_impl::load_profile(profile)) return false;
  auto flag = [&profile](const wchar_t* key, bool& value) {
    std::wstring text = profile.get_value(k_excel, key);
    if (!text.empty()) value = text == L"1";
  };
  flag(L"extract field names", x_fnames);
  flag(L"refine types", refine_types);
  flag(L"convert from xls", from_xls);
  // The console selects the worksheets once its whole command line is read.
  if (!console_ && from_xls) {
    std::vector<std::wstring> sheets;
    if (get_all_sheets(sheets)) set_sel_sheets(selected_table_names_, selected_queries());
  }
  return true;
}
