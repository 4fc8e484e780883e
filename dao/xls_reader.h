// The spreadsheet side of a conversion driver: opens a workbook through the
// data-access engine, lists its worksheets under the names users know, and keeps
// which Jet table stands behind each selected worksheet.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UDB/udb_conv.h"

class dao_database;
class dao_engine;
class udb_database;
class udb_recordset;

class xls_reader : public udb_converter {
 public:
  using sheet_map = std::map<std::wstring, std::wstring>;

  xls_reader();
  ~xls_reader() override;

  // Opens the workbook read-only; with names in the first row the connect string
  // is "Excel 5.0; IMEX=1;", else "Excel 5.0; HDR=No; IMEX=1;".
  static std::unique_ptr<dao_database> open_xls(dao_engine& engine, const std::wstring& path,
                                                bool names_in_first_row);
  // Lists the worksheets of the workbook at the source path with an engine of
  // its own; false when no engine can be created.
  bool get_all_sheets(std::vector<std::wstring>& sheets);
  // Lists the worksheets of an opened workbook.
  void get_all_sheets(dao_database& db, std::vector<std::wstring>& sheets);
  // Keeps the selected worksheets only, and adds the selected queries (name → SQL
  // text): each query is converted into a table of its own name. A query named as a
  // selected worksheet is passed over. The result holds the selected worksheet
  // names that the workbook lacks, in their order (missing_sheets() keeps them).
  std::vector<std::wstring> set_sel_sheets(const std::vector<std::wstring>& selected,
                      const std::map<std::wstring, std::wstring>& queries = {});
  // The worksheet names the last selection was given, and those of them the
  // workbook lacks; both empty after a listing (get_all_sheets), which keeps
  // every worksheet.
  const std::vector<std::wstring>& named_sheets() const { return named_; }
  const std::vector<std::wstring>& missing_sheets() const { return missing_; }
  // The last selection named worksheets and the workbook has none of them: a
  // run would convert none of what was asked for. Raises a level-1 tk_exception
  // naming them then, so that nothing of the destination is touched.
  void check_selection() const;
  // The source rows of one entry of the worksheet map, read-only: the worksheet's
  // table, or what the selected query of that name returns.
  std::unique_ptr<udb_recordset> open_sheet(udb_database& workbook, const std::wstring& name) const;
  // The selected queries (those with a query text) of the selected-tables map.
  std::map<std::wstring, std::wstring> selected_queries() const;

  static std::wstring simplify_name(const std::wstring& table);
  // The worksheets and queries to convert: display name → Jet table name (a query's
  // SQL text for a query).
  const sheet_map& get_sheets() const { return sheets_; }

 protected:
  sheet_map sheets_;

 private:
  std::vector<std::wstring> named_;
  std::vector<std::wstring> missing_;
};

// A Jet table name that is a worksheet ("Sheet1$", "'My Sheet$'").
bool non_system(const std::wstring& table);
