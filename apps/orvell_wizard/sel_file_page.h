// The file page: the source file, the destination database or dump file, the CSV
// table name and the workbook options. Next runs every check on the destination
// and records the user's overwrite choices for the run before the conversion may start.
#pragma once

#include "GUI2/g_wiz_pg.h"

#include <string>

class sel_file_page : public wizard_page {
 public:
  sel_file_page();

  bool page_init() override;
  int on_next() override;
  int on_back() override;
  void on_help() override;
  void on_command(int id, int code) override;

  // Whether the workbook at path opens; a failure is shown and gives false.
  bool check_xls(const std::wstring& path);

 private:
  void apply_layout();
  // browsed: the source was just chosen with Browse.
  void suggest_names(bool browsed);
  void browse_source();
  void browse_dump();
  void store_file_info();
  // The checks of Next for each destination; -1 to stay, else 0 to go on. They set
  // the mode the run acts on; nothing of the destination changes before the run.
  int check_server_dest();
  int check_dump_dest();
};
