#include "UDB/udb_db.h"

#include <unistd.h>

#include <cerrno>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/kernel/last_error.h"

void udb_engine::db_delete(const std::wstring& path) {
  tk_wtrace(2, L"udb_engine::db_delete(%s)", path.c_str());
  std::string narrow;
  // A name the code page cannot hold would name another file.
  if (!tk_to_ansi_exact(path, narrow)) {
    kernel::set_last_error_from_errno(EILSEQ);
    throw tk_exception_ex();
  }
  // Files only: remove() would also take away an empty folder of that name.
  if (::unlink(narrow.c_str()) != 0) {
    kernel::set_last_error_from_errno(errno);
    throw tk_exception_ex();
  }
}

bool udb_engine::is_db_exist(const std::wstring& path) {
  tk_wtrace(2, L"udb_engine::is_db_exist(%s)", path.c_str());
  return tk_is_file_exist(path.c_str(), 0);
}

udb_database::udb_database(const std::wstring& name, unsigned mode) : mode_(mode), name_(name) {
  tk_wtrace(2, L"udb_database::ctor(%s)", name.c_str());
}

udb_database::~udb_database() { tk_trace(2, "udb_database::dtor"); }

bool udb_database::delete_tab(const std::wstring& name) {
  tk_wtrace(2, L"udb_database::delete_tab (%s)", name.c_str());
  for (auto it = tables_.begin(); it != tables_.end(); ++it) {
    if (tk_wcompare_nocase(*it, name) == 0) {
      tables_.erase(it);
      return true;
    }
  }
  throw tk_mail_assertion("udb_db", 44);
}

std::unique_ptr<udb_recordset> udb_database::query(const std::wstring& statement) {
  tk_wtrace(2, L"udb_database::query(%s)", statement.c_str());
  throw tk_mail_assertion("udb_db", 70);
}

void udb_database::create_views(const query_map&) {}

void udb_database::create_relationships(const udb_relationships&) {}

void udb_database::try_create_table(const std::wstring&, const udb_schema&, const udb_indexes&) {}

bool udb_database::is_table_exist(const std::wstring& name) {
  tk_wtrace(2, L"udb_database::is_table_exist(%s)", name.c_str());
  for (const auto& table : tables_) {
    tk_wtrace(1, L"Compare with %s", table.c_str());
    if (tk_wcompare_nocase(table, name) == 0) {
      tk_trace(1, "table exists");
      return true;
    }
  }
  tk_trace(1, "table not found");
  return false;
}
