// The CSV page: the field delimiter, field names in the first row, type refinement.
#pragma once

#include "GUI2/g_wiz_pg.h"

class delim_page : public wizard_page {
 public:
  delim_page();
  bool page_init() override;
  int on_next() override;
  int on_back() override;
  void on_help() override;
  void on_command(int id, int code) override;

 private:
  void store();
};
