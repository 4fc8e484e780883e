#include "UDB/udb_conv.h"

#include <algorithm>

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"

udb_converter::udb_converter() { tk_trace(2, "udb_converter::ctor"); }

void udb_converter::set_mode(int mode) {
  tk_trace(1, "udb_converter::set_mode(%d)", mode);
  mode_ = mode;
}

udb_converter::table_plan udb_converter::prepare_dest_table(udb_database& db, const std::wstring& table,
                                                             const udb_schema& schema,
                                                             const udb_indexes& indexes) const {
  if (!db.is_table_exist(table)) return table_plan::create;
  switch (mode_) {
    case 2:
      tk_wtrace(3, L"Table %s exists: skipped", table.c_str());
      return table_plan::skip;
    case 3:
      return table_plan::append;
    default:
      tk_wtrace(3, L"Table %s exists: overwritten", table.c_str());
      db.try_create_table(table, schema, indexes);
      db.delete_tab(table);
      return table_plan::replace;
  }
}

std::wstring udb_converter::get_current_name() const {
  std::lock_guard lock(current_name_mutex_);
  return current_name_;
}

void udb_converter::set_current_name(const std::wstring& name) {
  std::lock_guard lock(current_name_mutex_);
  current_name_ = name;
}

bool udb_converter::store_profile(udb_profile& profile) {
  tk_trace(2, "udb_converter::store_profile");
  for (const auto& [name, text] : available_queries_) {
    tk_wtrace(1, L"Available Query: (%s,%s)", name.c_str(), text.c_str());
    profile.set_value(udb_profile::available_queries_section, name, text);
  }
  for (const auto& [name, text] : selected_tables_) {
    tk_wtrace(1, L"Selected Query: (%s,%s)", name.c_str(), text.c_str());
    profile.set_value(udb_profile::selected_tables_section, name, text);
  }
  const std::wstring generic = udb_profile::generic_section;
  profile.set_value(generic, L"src", src_);
  profile.set_value(generic, L"dest", dest_);
  profile.set_value(generic, L"skip indexes", skip_indexes_ ? L"1" : L"0");
  profile.set_value(generic, L"only definitions", only_definitions_ ? L"1" : L"0");
  profile.set_value(generic, L"mode", std::to_wstring(mode_));
  return true;
}

bool udb_converter::load_profile(udb_profile& profile) {
  tk_trace(2, "udb_converter::load_profile");
  const std::wstring generic = udb_profile::generic_section;
  // The mode first: a profile whose mode cannot be taken changes nothing. Blanks
  // around it are allowed ("mode = 3"); an empty value gives no mode.
  const std::wstring mode = tk_trim(profile.get_value(generic, L"mode"));
  if (!mode.empty() && (mode.size() != 1 || mode[0] < L'0' || mode[0] > L'3')) {
    const std::wstring& file = profile.file_name();
    throw profile_error(L"The profile " + (file.empty() ? std::wstring() : file + L" ") + L"cannot be used: its mode \"" +
                        mode + L"\" is not one of 0, 1, 2, 3.");
  }
  profile_mode_ = !mode.empty();
  if (profile_mode_) mode_ = mode[0] - L'0';

  for (const auto& [name, text] : profile.get_selected_tables()) {
    selected_tables_.emplace(name, text);
    if (text.empty() &&
        std::find(selected_table_names_.begin(), selected_table_names_.end(), name) ==
            selected_table_names_.end()) {
      tk_wtrace(1, L"Push back table '%s'", name.c_str());
      selected_table_names_.push_back(name);
    }
  }
  for (const auto& [name, text] : profile.get_available_queries()) available_queries_.emplace(name, text);

  if (auto src = profile.get_value(generic, L"src"); !src.empty()) src_ = src;
  if (auto dest = profile.get_value(generic, L"dest"); !dest.empty()) dest_ = dest;
  if (auto v = profile.get_value(generic, L"only definitions"); !v.empty()) only_definitions_ = v != L"0";
  if (auto v = profile.get_value(generic, L"skip indexes"); !v.empty()) skip_indexes_ = v != L"0";
  return true;
}
