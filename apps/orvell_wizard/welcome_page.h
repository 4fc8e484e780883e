// The first page of the wizard: the source kind, the destination kind, and loading
// a settings profile.
#pragma once

#include "GUI2/g_wiz_pg.h"

#include <string>

class welcome_page : public wizard_page {
 public:
  // profile_ext: the extension of settings profiles, exactly three characters ("orv").
  explicit welcome_page(const std::wstring& profile_ext);

  bool page_init() override;
  int on_next() override;
  void on_help() override;
  int wizard_buttons() const override { return gui::PSWIZB_NEXT; }
  void on_command(int id, int code) override;

  // Fills the two combos once and selects the converter's source and destination kinds.
  virtual void fill_combos();

 private:
  // The source and destination kinds chosen, into the converter.
  void store_kinds();
  void on_load_settings();

  std::wstring profile_ext_;
  bool combos_filled_ = false;
};
