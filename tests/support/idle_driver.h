// A conversion driver that converts nothing, with the console's defaults: for
// what only sets a driver's settings (the console's command line).
#pragma once

#include <memory>
#include <string>

#include "UDB/udb_db.h"
#include "UDB/udb_vali.h"
#include "common/conv_driver.h"
#include "common/csv_util.h"

class idle_driver : public conversion_driver {
public:
  idle_driver() : conversion_driver("idle_driver") {
    delimiter_index = -1;
    x_fnames = false;
  }
  void run() override {}
  bool test_query(const std::wstring&) override { return false; }
  bool store_profile(udb_profile&) override { return true; }
  bool load_profile(udb_profile&) override { return true; }
  std::unique_ptr<udb_database> get_dest_base() override { return nullptr; }
  void convert_step(udb_recordset*, udb_recordset*, udb_database*, std::unique_ptr<udb_recordset>*) override {}

protected:
  std::unique_ptr<udb_validator> create_tn_validator(udb_database&, bool) override { return nullptr; }
  std::unique_ptr<csv_field_upsizer> create_upsizer(udb_database&, udb_recordset&) override { return nullptr; }
};
