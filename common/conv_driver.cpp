#include "common/conv_driver.h"

#include <exception>

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_vali.h"
#include "common/csv_util.h"
#include "common/error_handler.h"
#include "common/init_conv.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"

namespace {

// Sets the record counter to 0 when a table's loop ends, however it ends.
class counter_reset {
public:
  explicit counter_reset(std::atomic<unsigned>& counter) : counter_(counter) {}
  ~counter_reset() { counter_.store(0); }

private:
  std::atomic<unsigned>& counter_;
};

}  // namespace

conversion_driver::conversion_driver(const char* name) : name_(name) {}

conversion_driver::~conversion_driver() = default;

char conversion_driver::delimiter_of(int index) {
  switch (index) {
    case 0: return '\t';
    case 2: return ',';
    case 3: return ' ';
    default: return ';';
  }
}

void conversion_driver::run_conversion(progress_timer* timer) {
  tk_trace(2, "%s::operator()", name_);
  set_finished(false);
  tables_done_ = 0;
  tables_total_ = 0;
  record_counter_ = 0;
  csv_percent_ = -1;
  dropped_database_.clear();
  dropped_csv_table_ = false;
  try {
    init_conversion scope(*this, true, timer);
    try {
      if (from_xls)
        convert_from_xls();
      else
        convert_from_csv();
    } catch (const tk_final_exception&) {
      tk_trace(2, "The conversion has ended");
    } catch (const tk_exception& e) {
      error_handler::instance().handle(e, true);
    } catch (const std::exception& e) {
      report_failure(e);
    }
  } catch (const std::exception& e) {
    // The handler itself failed (no handler, a failing dialog): the run has
    // ended all the same.
    tk_trace(3, "Error:\n%s", e.what());
  } catch (...) {
    tk_trace(3, "Error: unknown exception");
  }
  set_finished(true);
}

std::vector<std::wstring> conversion_driver::run_table_names(bool with_selected) const {
  std::vector<std::wstring> names;
  if (with_selected)
    for (const auto& sheet : get_sheets()) names.push_back(sheet.first);
  return names;
}

void conversion_driver::report_failure(const std::exception& e) {
  // Not a failure of the system's own: still one the finish page must list.
  tk_trace(3, "Error:\n%s", e.what());
  error_handler& handler = error_handler::instance();
  handler.add_error(e.what());
  if (error_dialogs* dialogs = handler.dialogs()) dialogs->show_error(tk_from_narrow(e.what(), CP_THREAD_ACP));
}

void conversion_driver::convert_from_xls() {
  const std::wstring name = tk_from_ansi(name_);
  tk_wtrace(2, L"%s::convert_from_xls(src=%s, dest=%s)", name.c_str(), src_.c_str(), dest_.c_str());
  dao_engine engine(false);
  if (!engine.set_version_if(3) && !engine.set_version_if(0))
    throw tk_exception(
        "Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the application to "
        "repair it.\r\n",
        1);
  // The workbook first (opening it lists its worksheets): one that cannot be
  // opened or read (missing, encrypted, damaged) leaves the destination as it was.
  std::unique_ptr<dao_database> source_db = xls_reader::open_xls(engine, src_, x_fnames);
  before_worksheets(*source_db);
  // A selection of which the workbook has no worksheet converts nothing: the
  // destination is left as it is, in every mode.
  check_selection();
  std::unique_ptr<udb_database> dest_db = prepare_destination(source_db.get(), nullptr);
  tk_trace(1, "After initializing DBs");
  const auto& sheets = get_sheets();
  tables_total_ = static_cast<unsigned>(sheets.size());
  tk_wtrace(3, L"Converting spreadsheet %s (%d worksheets)", src_.c_str(), static_cast<int>(sheets.size()));
  on_spreadsheet(tables_total_);
  std::unique_ptr<udb_validator> validator = create_tn_validator(*dest_db, true);

  for (const auto& sheet : sheets) {
    const std::wstring& display_name = sheet.first;
    end_if_stop_requested();
    set_current_name(display_name);
    std::wstring dropped;  // the table dropped to be replaced
    try {
      // A worksheet, or a selected query converted as a table of its own name.
      std::unique_ptr<udb_recordset> source = open_sheet(*source_db, display_name);
      const bool acceptable = validator->is_acceptable(display_name);
      const std::wstring table = acceptable ? display_name : validator->get_safe_name(display_name);
      const table_plan plan = prepare_dest_table(*dest_db, table, source->get_schema(), source->get_indexes());
      if (plan == table_plan::replace) dropped = table;
      if (plan != table_plan::skip) {
        std::unique_ptr<udb_recordset> dest =
            dest_db->create_table(table, source->get_schema(), source->get_indexes());
        if (!acceptable) {
          tk_wtrace(2, L"Store generated table name '%s'", table.c_str());
          validator->used_names().push_back(table);
        }
        validator->reserved_words().push_back(table);
        convert_step(source.get(), dest.get(), dest_db.get(), &dest);
      }
    } catch (const tk_connection_lost& e) {
      // Its message names the table; the run ends with it.
      error_handler& handler = error_handler::instance();
      handler.set_context(L"");
      handler.handle(lost_after_drop(e, dropped), false);
    } catch (const tk_exception& e) {
      error_handler& handler = error_handler::instance();
      handler.set_context(display_name);
      handler.handle(e, false);
    }
    ++tables_done_;
  }
  finish_dest(*dest_db);
}

void conversion_driver::convert_from_csv() {
  const std::wstring name = tk_from_ansi(name_);
  tk_wtrace(1, L"%s::convert_from_csv(src=%s, dest=%s, tab=%s)", name.c_str(), src_.c_str(), dest_.c_str(),
            csv_table_name.c_str());
  // The file first: one that cannot be read (UTF-16 text, say) leaves no
  // database or dump file behind.
  auto reader = std::make_unique<csv_file>(src_, delimiter_of(delimiter_index), x_fnames);
  std::unique_ptr<udb_database> dest_db = prepare_destination(nullptr, reader.get());
  csv_percent_ = 0;
  std::unique_ptr<udb_validator> validator = create_tn_validator(*dest_db, false);
  const std::wstring table =
      validator->is_acceptable(csv_table_name) ? csv_table_name : validator->get_safe_name(csv_table_name);
  csv_dest_table_ = table;
  // An existing table: replaced, kept (mode 2) or merged into (mode 3), as for a worksheet.
  std::unique_ptr<udb_recordset> dest;
  std::wstring dropped = dropped_csv_table_ ? table : std::wstring();  // the table dropped to be replaced
  try {
    const table_plan plan = prepare_dest_table(*dest_db, table, reader->get_schema(), reader->get_indexes());
    if (plan == table_plan::replace) dropped = table;
    if (plan != table_plan::skip) {
      dest = dest_db->create_table(table, reader->get_schema(), reader->get_indexes());
      tk_wtrace(3, L"Converting CSV file %s", src_.c_str());
      on_csv_file();
      convert_step(reader.get(), dest.get(), dest_db.get(), &dest);
    }
  } catch (const tk_table_exception& e) {
    // Its message names the table; no record's context belongs to it.
    error_handler& handler = error_handler::instance();
    handler.set_context(L"");
    handler.handle(e, false);
  } catch (const tk_connection_lost& e) {
    error_handler::instance().set_context(L"");
    throw lost_after_drop(e, dropped);
  }
  dest.reset();
  finish_dest(*dest_db);
  csv_percent_ = 100;
}

std::unique_ptr<udb_database> conversion_driver::prepare_destination(dao_database* workbook, csv_file* csv) {
  struct source_scope {
    conversion_driver& driver;
    ~source_scope() {
      driver.workbook_ = nullptr;
      driver.csv_ = nullptr;
      driver.first_sheet_.reset();
    }
  } scope{*this};
  workbook_ = workbook;
  csv_ = csv;
  return get_dest_base();
}

const udb_recordset* conversion_driver::first_table(udb_validator& validator, std::wstring& table) {
  auto named = [&](const std::wstring& name) {
    table = validator.is_acceptable(name) ? name : validator.get_safe_name(name);
  };
  if (csv_) {
    named(csv_table_name);
    return csv_;
  }
  first_sheet_.reset();
  if (!workbook_) return nullptr;
  for (const auto& sheet : get_sheets()) {
    try {
      first_sheet_ = open_sheet(*workbook_, sheet.first);
    } catch (const tk_exception& e) {
      tk_trace(2, "The worksheet does not open: %s", e.what());
      continue;
    }
    named(sheet.first);
    return first_sheet_.get();
  }
  return nullptr;
}

unsigned conversion_driver::copy_records(udb_recordset& source, udb_recordset& dest, udb_database& db,
                                     const std::function<void(const udb_record&)>& on_record) {
  counter_reset reset(record_counter_);
  record_counter_ = 0;
  csv_file* csv = from_xls ? nullptr : dynamic_cast<csv_file*>(&source);
  std::unique_ptr<csv_field_upsizer> upsizer = create_upsizer(db, dest);
  if (from_xls) {
    // The worksheet as the user sees it ("Orders 2024", not "'Orders 2024$'").
    tk_wtrace(3, L"Converting worksheet %s", get_current_name().c_str());
    on_worksheet(get_current_name());
  }
  error_handler& handler = error_handler::instance();
  // What the CSV reader found wrong in the lines it read (text past the first
  // line's fields, a quoted field cut short): each a level-0 error of its
  // record, whose message names the record, after which the run goes on.
  auto report_csv_errors = [&] {
    if (!csv) return;
    std::vector<tk_exception> errors = csv->take_errors();
    if (errors.empty()) return;
    handler.set_context(L"");
    for (const tk_exception& e : errors) handler.handle(e, false);
  };

  while (!source.is_eof()) {
    end_if_stop_requested();
    tk_trace(1, "Converting %d record", static_cast<int>(record_counter_.load()));
    udb_record* record = source.get_record();
    if (!record) throw tk_mail_assertion("orv_conv", 336);
    report_csv_errors();
    try {
      if (from_xls && skip_record(*record)) {
        tk_trace(1, "Empty -> skip");
        source.next();
        continue;
      }
      if (!from_xls && upsizer) upsizer->process(*record);
      dest.append_record(*record);
      if (on_record) on_record(*record);
    } catch (const tk_table_exception&) {
      throw;  // the table has ended; the run goes on with the next one
    } catch (const tk_connection_lost&) {
      throw;  // the table has ended, and the run with it
    } catch (const tk_exception& e) {
      // The whole family: a record the destination or the source value refuses
      // costs that record, not the table.
      handler.set_record_context(from_xls ? get_current_name() : csv_dest_table_,
                                 static_cast<int>(record_counter_.load()) + 1);
      handler.handle(e, false);
    }
    ++record_counter_;
    source.next();
    if (csv) csv_percent_ = csv->get_read_percent();
  }
  report_csv_errors();
  return record_counter_.load();
}

tk_connection_lost conversion_driver::lost_after_drop(const tk_connection_lost& lost,
                                                      const std::wstring& dropped_table) const {
  std::wstring dropped;
  if (!dropped_database_.empty())
    dropped = L"The database '" + dropped_database_ + L"' was dropped to be replaced (its earlier tables are gone). ";
  if (!dropped_table.empty())
    dropped += L"Table '" + dropped_table + L"' was dropped to be replaced (its earlier rows are gone). ";
  if (dropped.empty()) return lost;
  return tk_connection_lost(tk_to_ansi(dropped) + lost.message());
}

bool conversion_driver::store_profile_file(const std::wstring& file_name) {
  udb_profile profile;
  if (!store_profile(profile)) return false;
  return profile.store(file_name);
}

bool conversion_driver::load_profile_file(const std::wstring& file_name) {
  udb_profile profile;
  if (!profile.load(file_name)) {
    // Never taken for "no profile": the run would go on with other settings.
    std::wstring text = L"The profile " + file_name + L" cannot be read";
    if (profile.failed_line() > 0)
      text += tk_wformat(L": line %d comes before the first section", profile.failed_line());
    throw profile_error(text + L".");
  }
  return load_profile(profile);
}

int conversion_driver::get_progress() {
  const bool finished = is_finished();
  int value = 100;
  if (from_xls || finished) {
    unsigned total = tables_total_.load();
    value = total == 0 ? 0 : static_cast<int>(tables_done_.load() * 100u / total);
    if (!from_xls && finished) value = 100;
  } else if (int percent = csv_percent_.load(); percent >= 0) {
    value = percent;
  }
  if (finished && wizard_) {
    wizard_->stop_timer();
    wizard_->show_finish_page();
  }
  return value;
}
