// Reads everything a workbook offers, as the DAO layer would: every table with
// and without a header row, to the last record, and a count through SQL.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dao/jet_error.h"
#include "platform/dao/workbook_db.h"

// both_modes: with and without a header row; count: also through SQL.
inline void drain_workbook(const std::function<std::unique_ptr<jet::workbook>()>& open, bool both_modes = true,
                           bool count = true) {
  for (bool header : {true, false}) {
    if (!header && !both_modes) break;
    try {
      jet::workbook_db db(open(), header);
      for (std::size_t i = 0; i < db.table_names().size() && i < 8; ++i) {
        try {
          auto cursor = db.open_table(db.table(i));
          std::vector<jet::value> record;
          while (cursor->next(record)) {
          }
          if (!count) continue;
          auto counted = db.query("SELECT count(*) FROM [" + db.table_names()[i] + "]");
          while (counted->next(record)) {
          }
        } catch (const jet::jet_error&) {
        }
      }
    } catch (const jet::jet_error&) {
    }
  }
}
