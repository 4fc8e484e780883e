#include "GUI2/sel_tables_page.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "dao/xls_reader.h"

#include <algorithm>
#include <cwctype>

namespace {

constexpr int available_list = 1317;
constexpr int selected_list = 1318;

}  // namespace

sel_tables_page::sel_tables_page(xls_reader& reader, gui::resource_set set)
    : wizard_page(127, L"Step 3 of 4", L"Select worksheets to convert", set), reader_(reader) {
  has_help = true;
}

bool sel_tables_page::page_init() {
  gui::control_set& c = ctrls();
  c.set_text(1337, resources() == gui::resource_set::dunmere
                       ? L"Select MS Excel worksheets to convert into MS SQL tables."
                       : L"Select MS Excel worksheets to convert into MySQL tables.");
  c.set_text(1334, L"&Available worksheets:");
  c.set_text(1312, L"&Selected worksheets:");
  sheets_.clear();
  try {
    reader_.get_all_sheets(sheets_);
  } catch (const tk_exception&) {
    sheets_.clear();  // a workbook that cannot be read leaves the list empty
  }
  fill_lists();
  show_ctrl(1114, false);  // queries come from a profile in this program
  restore_selection(reader_.selected_tables());
  load_queries(reader_.available_queries());
  return true;
}

void sel_tables_page::fill_lists() {
  gui::control_set& c = ctrls();
  c.list_reset(available_list);
  c.list_reset(selected_list);
  int extent = 0;
  for (const std::wstring& name : sheets_) {
    c.list_add(available_list, name);
    extent = std::max(extent, c.text_width(available_list, name));
  }
  c.list_set_extent(available_list, extent);
  c.list_set_extent(selected_list, 0);
  if (c.list_count(available_list) > 0) c.list_select(available_list, 0);
}

bool sel_tables_page::in_lists(const std::wstring& name) const {
  const gui::control_set& c = controls();
  return c.list_find_exact(available_list, name) >= 0 || c.list_find_exact(selected_list, name) >= 0;
}

void sel_tables_page::restore_selection(const query_map& selected) {
  gui::control_set& c = ctrls();
  for (const auto& [name, query] : selected) {
    if (!query.empty()) {
      if (!in_lists(name)) {
        c.list_add(selected_list, name);
        selected_queries_[name] = query;
      }
    } else {
      const int index = c.list_find_exact(available_list, name);
      if (index >= 0) move_right(index);
    }
  }
}

void sel_tables_page::load_queries(const query_map& available) {
  offered_queries_ = available;
  for (const auto& [name, query] : offered_queries_)
    if (!query.empty() && !in_lists(name)) ctrls().list_add(available_list, name);
}

bool sel_tables_page::is_query(const std::wstring& name) const {
  return selected_queries_.count(name) > 0 || offered_queries_.count(name) > 0;
}

bool sel_tables_page::select_query(const std::wstring& name) {
  if (selected_queries_.count(name)) return false;
  auto it = offered_queries_.find(name);
  if (it == offered_queries_.end()) return false;
  selected_queries_.insert(*it);
  offered_queries_.erase(it);
  return true;
}

void sel_tables_page::unselect_query(const std::wstring& name) {
  auto it = selected_queries_.find(name);
  if (it == selected_queries_.end()) return;
  offered_queries_[it->first] = it->second;
  selected_queries_.erase(it);
}

void sel_tables_page::move_right(int index) {
  gui::control_set& c = ctrls();
  const std::wstring name = c.list_text(available_list, index);
  c.list_add(selected_list, name);
  c.list_set_extent(selected_list, std::max(c.list_extent(selected_list), c.text_width(selected_list, name)));
  c.list_delete(available_list, index);
  if (is_query(name)) select_query(name);
}

void sel_tables_page::move_left(int index) {
  gui::control_set& c = ctrls();
  const std::wstring name = c.list_text(selected_list, index);
  c.list_add(available_list, name);
  c.list_delete(selected_list, index);
  if (is_query(name)) unselect_query(name);
}

namespace {

// After an item left list `from`: select its neighbour there, or move the focus to
// the other list when `from` is empty now.
void after_move(gui::control_set& c, int from, int to, int index) {
  const int count = c.list_count(from);
  if (count > 0) {
    c.list_select(from, std::min(index, count - 1));
    return;
  }
  c.focus(to);
  if (c.list_count(to) > 0) c.list_select(to, 0);
}

}  // namespace

void sel_tables_page::on_add() {
  tk_trace(2, "sel_tables_page::on_add");
  const int index = ctrls().list_selection(available_list);
  if (index < 0) return;
  move_right(index);
  after_move(ctrls(), available_list, selected_list, index);
}

void sel_tables_page::on_add_all() {
  tk_trace(2, "sel_tables_page::on_add_all");
  while (ctrls().list_count(available_list) > 0) move_right(0);
  after_move(ctrls(), available_list, selected_list, 0);
}

void sel_tables_page::on_delete() {
  tk_trace(2, "sel_tables_page::on_delete");
  const int index = ctrls().list_selection(selected_list);
  if (index < 0) return;
  move_left(index);
  after_move(ctrls(), selected_list, available_list, index);
}

void sel_tables_page::on_del_all() {
  tk_trace(2, "sel_tables_page::on_del_all");
  while (ctrls().list_count(selected_list) > 0) move_left(0);
  after_move(ctrls(), selected_list, available_list, 0);
}

void sel_tables_page::on_add_query() {
  tk_trace(2, "sel_tables_page::on_add_query");
  std::wstring name, query;
  for (;;) {
    set_query_dlg dlg(reader_, name, query);
    if (dlg.run_modal(wizard_shell::active_window()) == gui::IDCANCEL) return;
    name = dlg.table_name();
    query = dlg.query_text();
    if (!in_lists(name)) {
      ctrls().list_add(selected_list, name);
      selected_queries_[name] = query;
      return;
    }
    wizard_shell::message(L"Duplicate table name. Try again.");
  }
}

void sel_tables_page::on_edit_query() {
  tk_trace(2, "sel_tables_page::on_edit_query");
  gui::control_set& c = ctrls();
  const int index = c.list_selection(selected_list);
  if (index < 0) return;
  const std::wstring name = c.list_text(selected_list, index);
  auto it = selected_queries_.find(name);
  if (it == selected_queries_.end()) return;
  set_query_dlg dlg(reader_, name, it->second);
  if (dlg.run_modal(wizard_shell::active_window()) != gui::IDOK) return;
  selected_queries_.erase(it);
  selected_queries_[dlg.table_name()] = dlg.query_text();
  c.list_delete(selected_list, index);
  c.list_add(selected_list, dlg.table_name());
}

void sel_tables_page::on_command(int id, int code) {
  switch (id) {
    case 1101:
      if (code == gui::BN_CLICKED) on_add();
      break;
    case 1102:
      if (code == gui::BN_CLICKED) on_add_all();
      break;
    case 1111:
      if (code == gui::BN_CLICKED) on_delete();
      break;
    case 1110:
      if (code == gui::BN_CLICKED) on_del_all();
      break;
    case 1114:
      if (code == gui::BN_CLICKED) on_add_query();
      break;
    case available_list:
      if (code == gui::LBN_DBLCLK) on_add();
      break;
    case selected_list:
      if (code == gui::LBN_DBLCLK) on_edit_query();
      break;
    default:
      break;
  }
}

bool sel_tables_page::store_selection() {
  const gui::control_set& c = controls();
  if (c.list_count(available_list) > 0 && c.list_count(selected_list) == 0 &&
      !wizard_shell::question(L"There are no tables selected. Continue anyway?", gui::MB_DEFBUTTON2))
    return false;
  sheets_.clear();
  for (int i = 0; i < c.list_count(selected_list); ++i) {
    std::wstring name = c.list_text(selected_list, i);
    if (!is_query(name)) sheets_.push_back(std::move(name));
  }
  return true;
}

int sel_tables_page::on_next() {
  if (!store_selection()) return -1;
  // The selected queries are converted too, each as a table of its own name; every
  // query the page knows stays available for a saved profile.
  reader_.set_sel_sheets(sheets_, selected_queries_);
  for (const query_map* queries : {&selected_queries_, &offered_queries_})
    for (const auto& [name, query] : *queries) reader_.available_queries().insert_or_assign(name, query);
  return 108;
}

void sel_tables_page::on_help() { wizard_shell::instance().display_help(1016); }

set_query_dlg::set_query_dlg(xls_reader& reader, const std::wstring& table, const std::wstring& query)
    : dialog(128), reader_(reader), table_(table), query_(query) {
  tk_trace(1, "set_query_dlg::set_query_dlg");
}

void set_query_dlg::on_init() {
  tk_trace(1, "set_query_dlg::on_init");
  controls().set_text(1019, table_);
  controls().set_text(1020, query_);
  centre();
}

bool set_query_dlg::is_select(std::wstring& text) {
  const size_t start = text.find_first_not_of(L"\t\n\r ");
  text.erase(0, start == std::wstring::npos ? text.size() : start);
  if (text.size() < 6) return false;
  for (size_t i = 0; i < 6; ++i)
    if (static_cast<wchar_t>(std::towupper(text[i])) != L"SELECT"[i]) return false;
  return true;
}

void set_query_dlg::on_command(int id, int code) {
  if (code != gui::BN_CLICKED) return;
  switch (id) {
    case gui::IDOK:
      on_ok();
      break;
    case gui::IDCANCEL:
      tk_trace(1, "set_query_dlg::on_cancel");
      end(gui::IDCANCEL);
      break;
    case 129:
      on_test();
      break;
    case gui::IDHELP:
      if (wizard_shell* shell = wizard_shell::instance_ptr()) shell->display_help(1016);
      break;
    default:
      break;
  }
}

void set_query_dlg::on_test() {
  std::wstring query = controls().text(1020);
  if (!is_select(query)) {
    wizard_shell::error(std::wstring(L"The query must start with SELECT."));
    return;
  }
  if (reader_.test_query(query))
    wizard_shell::message(L"The query is correct.");
  else
    wizard_shell::error(std::wstring(
        L"You have an error in your query syntax. Make sure that it is a correct SQL SELECT-statement. Contact "
        L"support@veltrask.example if the error persists."));
}

void set_query_dlg::on_ok() {
  tk_trace(1, "set_query_dlg::on_ok");
  std::wstring table = controls().text(1019);
  if (table.empty()) {
    wizard_shell::message(L"Table name is empty!");
    return;
  }
  std::wstring query = controls().text(1020);
  if (!is_select(query)) {
    wizard_shell::error(std::wstring(L"The query must start with SELECT."));
    return;
  }
  table_ = std::move(table);
  query_ = std::move(query);
  end(gui::IDOK);
}
