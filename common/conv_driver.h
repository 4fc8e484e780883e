// The road every conversion driver follows: the run with its handlers, the
// walk over the worksheets of a workbook, the CSV run and the record loop of
// one table, with their guards. A driver (orvell_converter into MySQL,
// dunmere_convertor into SQL Server) derives from it and supplies its
// destination, its table-name validator, its text-column upsizer and what it
// does after each table; a mend here is a mend in every driver.
//
// Guards: the record loop catches the tk_exception family and goes on with the
// next record; the worksheet walk catches it and goes on with the next
// worksheet; the run ends quietly on tk_final_exception, hands any other
// tk_exception to the error handler with go-on true and any other standard
// exception to the driver (report_failure). A table that ends
// (tk_table_exception) passes the record loop; a lost connection
// (tk_connection_lost) passes it too and ends the run, saying first what the
// run dropped to replace.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_excep.h"
#include "UDB/udb_prof.h"
#include "dao/xls_reader.h"

class csv_field_upsizer;
class csv_file;
class dao_database;
class progress_timer;
class wizard_progress;
class udb_database;
class udb_profile;
class udb_record;
class udb_recordset;
class udb_validator;

class conversion_driver : public xls_reader {
public:
  // name: the driver's class name, which starts its trace entries.
  explicit conversion_driver(const char* name);
  ~conversion_driver() override;

  // Settings of every driver.
  bool from_xls = true;
  bool x_fnames = true;
  bool refine_types = true;
  int delimiter_index = 1;  // 0 tab, 1 ";", 2 ",", 3 blank
  std::wstring csv_table_name;

  // The delimiter character of an index (";" for one outside 0 to 3).
  static char delimiter_of(int index);

  // Told of every table converted, with its record count.
  using table_observer = std::function<void(const std::wstring& table, unsigned records)>;
  void set_table_observer(table_observer observer) { table_observer_ = std::move(observer); }

  // A new destination database, owned by the caller.
  virtual std::unique_ptr<udb_database> get_dest_base() = 0;

  // The record loop of one table (see copy_records); a driver adds what it
  // does around it. When owned_dest is given, the driver may release the
  // destination table (its last rows written) before it changes its columns.
  virtual void convert_step(udb_recordset* source, udb_recordset* dest, udb_database* db,
                            std::unique_ptr<udb_recordset>* owned_dest = nullptr) = 0;

  void convert_from_xls();
  void convert_from_csv();

  // The percentage the progress page shows; once the run has ended it also
  // stops the timer and moves the wizard to the finish page.
  int get_progress();
  // The wizard's timer and page switch; not owned, may be null (no timer).
  void set_wizard(wizard_progress* wizard) { wizard_ = wizard; }

  // The driver's settings in a profile (the common sections and its own).
  virtual bool store_profile(udb_profile& profile) = 0;
  virtual bool load_profile(udb_profile& profile) = 0;
  // The store's own result: false when the file could not be written.
  bool store_profile_file(const std::wstring& file_name);
  // A missing file raises the profile's error; one that cannot be read (an
  // entry before the first section: UTF-16 or binary text) or whose mode
  // cannot be taken raises profile_error; nothing of the settings is changed then.
  bool load_profile_file(const std::wstring& file_name);

protected:
  // The whole run, in the conversion scope (with the wizard's timer when one
  // is given), with the run's handlers. Sets finished however it ends.
  void run_conversion(progress_timer* timer);

  // The record loop: every record of the source appended to the destination
  // under the record guard; for a CSV source each record is first given to the
  // upsizer, and what the reader found wrong in its lines is reported per
  // record. A record's error names its table and record ("t, record #n").
  // on_record is called after each appended record, inside the guard.
  // The record counter is 0 again when the loop ends, however it ends; the
  // result is the number of records handled.
  unsigned copy_records(udb_recordset& source, udb_recordset& dest, udb_database& db,
                    const std::function<void(const udb_record&)>& on_record = {});

  // The names of this run's tables (worksheets and queries) when with_selected,
  // so that no generated name takes one of them; else none.
  std::vector<std::wstring> run_table_names(bool with_selected) const;

  // ---- what a driver supplies ------------------------------------------------
  // The table-name validator of the destination, seeded with the names the
  // destination lists and run_table_names(with_selected).
  virtual std::unique_ptr<udb_validator> create_tn_validator(udb_database& db, bool with_selected) = 0;
  // The upsizer that widens a CSV text column of the destination.
  virtual std::unique_ptr<csv_field_upsizer> create_upsizer(udb_database& db, udb_recordset& dest) = 0;
  // A standard exception that is no tk_exception ended the run: traced, kept
  // in the wizard's error list and shown in its error box.
  virtual void report_failure(const std::exception& e);

  // While the destination is prepared (get_dest_base), before anything of it
  // is dropped: the run's first table, the CSV file or the first selected
  // worksheet of the open workbook that opens (one that does not is reported
  // when the run comes to it), with the name the validator gives it in table;
  // null when none opens. It lives until get_dest_base returns.
  const udb_recordset* first_table(udb_validator& validator, std::wstring& table);

  // ---- where a driver may add to the road ------------------------------------
  // The workbook is open and its worksheets listed; the destination is not
  // yet opened or changed.
  virtual void before_worksheets(dao_database& /*source*/) {}
  // After the trace "Converting spreadsheet ..." / "Converting CSV file ...".
  virtual void on_spreadsheet(unsigned /*worksheets*/) {}
  virtual void on_csv_file() {}
  // At the start of a worksheet's record loop.
  virtual void on_worksheet(const std::wstring& /*name*/) {}
  // Empty rows that the driver passes over (not counted).
  virtual bool skip_record(udb_record& /*record*/) { return false; }
  // The destination is complete: a driver writes what it still holds.
  virtual void finish_dest(udb_database& /*db*/) {}

  // The share of the CSV file read, published by the run; -1 when no CSV run reads.
  std::atomic<int> csv_percent_{-1};
  table_observer table_observer_;
  const char* name_;
  wizard_progress* wizard_ = nullptr;
  // get_dest_base, with what first_table may look at of the source.
  std::unique_ptr<udb_database> prepare_destination(dao_database* workbook, csv_file* csv);

  // What the run dropped to replace it, for the error of a connection lost
  // afterwards: the whole database (mode 0), the CSV file's table before
  // the run (the console's check of the destination).
  std::wstring dropped_database_;
  bool dropped_csv_table_ = false;
  // The error of a connection lost after such a drop, or after the table of
  // that name was dropped to be replaced: what was dropped first, then the
  // back end's account.
  tk_connection_lost lost_after_drop(const tk_connection_lost& lost, const std::wstring& dropped_table) const;

  // The source of the run while get_dest_base prepares the destination.
  dao_database* workbook_ = nullptr;
  csv_file* csv_ = nullptr;
  std::unique_ptr<udb_recordset> first_sheet_;  // the first worksheet that opened

private:
  std::wstring csv_dest_table_;  // the table of the CSV run, for its records' errors
};
