#include "dao/xls_reader.h"

#include <set>
#include <utility>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_recs.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"

xls_reader::xls_reader() = default;

xls_reader::~xls_reader() { sheets_.clear(); }

bool non_system(const std::wstring& table) {
  tk_wtrace(1, L"non_system (%s)", table.c_str());
  if (table.size() < 2) return false;
  return table.back() == L'$' || (table.back() == L'\'' && table[table.size() - 2] == L'$');
}

std::wstring xls_reader::simplify_name(const std::wstring& table) {
  tk_wtrace(1, L"xls_reader::simplify_name(%s)", table.c_str());
  std::wstring name = table;
  if (name.size() > 2 && name.front() == L'\'' && name.back() == L'\'') name = name.substr(1, name.size() - 2);
  if (name.size() > 1 && name.back() == L'$') name.pop_back();
  name = tk_trim_left(tk_trim_right(name));
  tk_wtrace(1, L"Simplified name: %s", name.c_str());
  return name;
}

std::unique_ptr<dao_database> xls_reader::open_xls(dao_engine& engine, const std::wstring& path,
                                                   bool names_in_first_row) {
  tk_wtrace(2, L"xls_reader::open_xls(%s)", path.c_str());
  std::wstring connect = L"Excel 5.0;";
  if (!names_in_first_row) connect += L" HDR=No;";
  connect += L" IMEX=1;";
  return engine.open_dao_src(path, connect, 1);
}

bool xls_reader::get_all_sheets(std::vector<std::wstring>& sheets) {
  tk_trace(1, "xls_reader::get_all_sheets");
  sheets.clear();
  dao_engine engine;
  if (!engine.set_version_if(dao_version_ace12) && !engine.set_version_if(dao_version_36)) return false;
  auto db = open_xls(engine, get_src(), false);
  get_all_sheets(*db, sheets);
  db.reset();
  return true;
}

void xls_reader::get_all_sheets(dao_database& db, std::vector<std::wstring>& sheets) {
  tk_trace(1, "xls_reader::get_all_sheets(2)");
  sheets_.clear();
  named_.clear();
  missing_.clear();
  std::vector<std::pair<std::wstring, std::wstring>> found;  // display name, table
  std::set<std::wstring> simple_names;
  for (const auto& table : db.get_tables()) {
    if (!non_system(table)) continue;
    found.emplace_back(simplify_name(table), table);
    simple_names.insert(found.back().first);
  }
  for (auto& [name, table] : found) {
    // Names that differ only in the blanks around them ("Data" and "Data ")
    // simplify alike: the first keeps the name, a later one is "Data (2)", ...
    if (sheets_.count(name)) {
      std::wstring base = name;
      for (int n = 2;; ++n) {
        name = base + L" (" + std::to_wstring(n) + L")";
        if (!simple_names.count(name) && !sheets_.count(name)) break;
      }
      tk_wtrace(2, L"Worksheet %s is listed as %s", table.c_str(), name.c_str());
    }
    sheets.push_back(name);
    sheets_.emplace(name, table);
  }
}

std::vector<std::wstring> xls_reader::set_sel_sheets(const std::vector<std::wstring>& selected,
                                                    const std::map<std::wstring, std::wstring>& queries) {
  tk_trace(1, "xls_reader::set_sel_sheets");
  tk_trace(1, "Total worksheets: %d", static_cast<int>(sheets_.size()));
  selected_tables().clear();
  sheet_map chosen;
  std::vector<std::wstring> missing;
  for (const auto& name : selected) {
    auto found = sheets_.find(name);
    if (found == sheets_.end()) {
      tk_wtrace(3, L"Worksheet %s not found", name.c_str());
      missing.push_back(name);
      continue;
    }
    tk_wtrace(1, L"Worksheet %s is selected", found->second.c_str());
    chosen.emplace(name, found->second);
    selected_tables().emplace(name, L"");
  }
  for (const auto& [name, query] : queries) {
    if (query.empty()) continue;
    if (!chosen.emplace(name, query).second) {
      tk_wtrace(3, L"Query %s has the name of a selected worksheet", name.c_str());
      continue;
    }
    tk_wtrace(1, L"Query %s is selected", name.c_str());
    selected_tables().emplace(name, query);
  }
  sheets_ = std::move(chosen);
  named_ = selected;
  missing_ = missing;
  return missing;
}

void xls_reader::check_selection() const {
  if (named_.empty() || missing_.size() < named_.size()) return;
  std::wstring names;
  for (const auto& name : missing_) names += (names.empty() ? L"" : L", ") + name;
  throw tk_exception(L"None of the selected worksheets is in the workbook (not found: " + names +
                         L"): nothing was converted or dropped.",
                     1);
}

std::map<std::wstring, std::wstring> xls_reader::selected_queries() const {
  std::map<std::wstring, std::wstring> queries;
  for (const auto& [name, text] : selected_tables_)
    if (!text.empty()) queries.emplace(name, text);
  return queries;
}

std::unique_ptr<udb_recordset> xls_reader::open_sheet(udb_database& workbook, const std::wstring& name) const {
  auto query = selected_tables_.find(name);
  if (query != selected_tables_.end() && !query->second.empty()) return workbook.get_query(name, query->second);
  auto sheet = sheets_.find(name);
  if (sheet == sheets_.end()) throw tk_mail_assertion("xls_reader", 80);
  return workbook.get_table(sheet->second, UDB_MODE_READ_ONLY);
}
