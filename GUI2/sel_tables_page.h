// The worksheet page: worksheets move between the available and the selected list;
// Next hands the selected worksheets to the workbook reader. Queries over the
// workbook (from a loaded profile) stand in the lists as named tables; a selected
// query is converted into a table of its name.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "platform/gui/gui_dialog.h"

#include <map>
#include <string>
#include <vector>

class xls_reader;

class sel_tables_page : public wizard_page {
 public:
  using query_map = std::map<std::wstring, std::wstring>;

  // set: the program's resources; they also name the destination's tables.
  explicit sel_tables_page(xls_reader& reader, gui::resource_set set = gui::resource_set::orvell);

  bool page_init() override;
  int on_next() override;
  void on_help() override;
  void on_command(int id, int code) override;

  virtual void restore_selection(const query_map& selected);
  virtual bool is_query(const std::wstring& name) const;
  virtual bool select_query(const std::wstring& name);
  virtual void unselect_query(const std::wstring& name);

  const std::vector<std::wstring>& sheet_names() const { return sheets_; }

 private:
  void fill_lists();
  void load_queries(const query_map& available);
  void move_right(int index);
  void move_left(int index);
  void on_add();
  void on_add_all();
  void on_delete();
  void on_del_all();
  void on_add_query();
  void on_edit_query();
  bool store_selection();
  bool in_lists(const std::wstring& name) const;

  xls_reader& reader_;
  std::vector<std::wstring> sheets_;
  query_map selected_queries_;
  query_map offered_queries_;
};

// "Add Query": a table name and the SELECT statement that fills it.
class set_query_dlg : public gui::dialog {
 public:
  set_query_dlg(xls_reader& reader, const std::wstring& table, const std::wstring& query);
  const std::wstring& table_name() const { return table_; }
  const std::wstring& query_text() const { return query_; }

  // Leading tabs, line breaks and blanks are dropped from text; true when what is
  // left starts with SELECT (in any case).
  static bool is_select(std::wstring& text);

 protected:
  void on_init() override;
  void on_command(int id, int code) override;

 private:
  void on_ok();
  void on_test();

  xls_reader& reader_;
  std::wstring table_;
  std::wstring query_;
};
