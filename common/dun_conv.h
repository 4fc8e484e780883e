// The conversion driver of the SQL Server programs: one process-wide object
// that holds every setting of a conversion into a SQL Server database and
// performs it, along the road every driver follows (conversion_driver).
//
// Two variants of the one class: the wizard's (settings kept in the product's
// registry key, run on the progress page's worker thread) and the console
// program's (settings from the command line, run on the main thread, progress
// lines on standard output unless silent). The program chooses by the
// constructor it calls.
#pragma once

#include <memory>
#include <string>

#include "TK/tk_regk.h"
#include "TK/tk_singl.h"
#include "common/conv_driver.h"
#include "common/mss_conv.h"

class dao_database;
class udb_profile;

class dunmere_convertor : public conversion_driver,
                          public mssql_converter_impl,
                          public tk_singleton<dunmere_convertor> {
public:
  struct console_variant {};

  // The wizard's: loads the last-used settings from the registry.
  dunmere_convertor();
  // The console program's: spreadsheet source, no field names in the first
  // row, refinement on, no delimiter chosen (-1), mode 0; no registry.
  explicit dunmere_convertor(console_variant);
  // The wizard's saves its settings to the registry.
  ~dunmere_convertor() override;

  void run() override { (*this)(); }
  void operator()();
  bool test_query(const std::wstring&) override { return false; }

  // The record loop of one table; the rows still held by the bulk load are
  // sent before the table is released.
  void convert_step(udb_recordset* source, udb_recordset* dest, udb_database* db,
                    std::unique_ptr<udb_recordset>* owned_dest = nullptr) override;
  // The destination database: opened when it exists (append mode unless the
  // mode is 0), else created.
  std::unique_ptr<udb_database> get_dest_base() override;

  // Registry (the wizard's; save true) and profiles.
  bool serialize(bool save);
  bool store_profile(udb_profile& profile) override;
  bool load_profile(udb_profile& profile) override;

  bool is_console() const { return console_; }
  // The version of the SQL Server programs, and the wizard's title "Dunmere %d.%d %s".
  static constexpr int version_major = 1;
  static constexpr int version_minor = 0;
  static std::wstring get_title();

protected:
  std::unique_ptr<udb_validator> create_tn_validator(udb_database& db, bool with_selected) override;
  std::unique_ptr<csv_field_upsizer> create_upsizer(udb_database& db, udb_recordset& dest) override;
  void report_failure(const std::exception& e) override;
  void before_worksheets(dao_database& source) override;
  void on_spreadsheet(unsigned worksheets) override;
  void on_csv_file() override;
  void on_worksheet(const std::wstring& name) override;

private:
  // The console's modes, before the destination is opened: in mode 0 an
  // existing database is dropped (the run creates it anew); for a CSV file in
  // mode 1 an existing table is dropped, when the server would create it
  // again. Whether the database exists now.
  bool check_dest();
  // Mode 0: drops the existing destination database for the run to create it
  // anew, unless the server would not create the run's first table again
  // (then a level-1 error, and nothing is dropped).
  void replace_database();
  // A console progress line on standard output, unless silent.
  void print(const std::string& line) const;

  bool console_ = false;
  tk_reg_key reg_key_;
};
