// The conversion driver of orvell_wizard: one process-wide object that holds
// every setting of a conversion and performs it. The wizard pages write the
// settings; the progress page runs operator() on a worker thread and polls
// get_progress() and the progress fields from the user-interface thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "TK/tk_regk.h"
#include "TK/tk_singl.h"
#include "apps/orvell_wizard/orv_mysql.h"
#include "common/conv_driver.h"
#include "common/init_conv.h"

class udb_database;
class udb_recordset;
class udb_profile;
class udb_validator;

class orvell_converter : public conversion_driver,
                         public mysql_converter_impl,
                         public tk_singleton<orvell_converter> {
public:
  // Loads the last-used settings from the product's registry key.
  orvell_converter();
  // Saves the settings to the registry.
  ~orvell_converter() override;

  // The whole conversion (the runnable's run).
  void run() override { (*this)(); }
  void operator()();
  bool test_query(const std::wstring&) override { return false; }

  // The record loop of one table, then its type refinement. When owned_dest is
  // given, the destination table is released (its last rows written) before
  // its columns change.
  void convert_step(udb_recordset* source, udb_recordset* dest, udb_database* db,
                    std::unique_ptr<udb_recordset>* owned_dest = nullptr) override;
  // A new destination database (server or dump file), owned by the caller.
  std::unique_ptr<udb_database> get_dest_base() override;

  // "Orvell %d.%d %s".
  static std::wstring get_title();

  // Registry (save true) and profiles.
  bool serialize(bool save);
  bool store_profile(udb_profile& profile) override;
  bool load_profile(udb_profile& profile) override;


  // Settings of this driver (the common ones are conversion_driver's).
  bool direct = true;
  bool skip_empty_rows = true;

protected:
  // The table-name validator of the server's generation, seeded with the destination's
  // tables (and the names of the worksheets and queries to convert).
  std::unique_ptr<udb_validator> create_tn_validator(udb_database& db, bool with_selected) override;
  std::unique_ptr<csv_field_upsizer> create_upsizer(udb_database& db, udb_recordset& dest) override;
  bool skip_record(udb_record& record) override;
  void finish_dest(udb_database& db) override;

private:
  // Before the whole database is dropped: the server must take the run's first
  // table in it and let this user create the database again; otherwise a
  // level-1 error, and nothing is dropped.
  void check_recreatable();

  tk_reg_key reg_key_;
};
