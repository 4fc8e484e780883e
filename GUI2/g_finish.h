// The last page of the wizard: success, or the errors collected during the run.
#pragma once

#include "GUI2/g_wiz_pg.h"

#include <string>

class gui_finish_page : public wizard_page {
 public:
  gui_finish_page(const std::wstring& success_text, const std::wstring& error_text,
                  gui::resource_set set = gui::resource_set::orvell);

  bool page_init() override;
  int wizard_buttons() const override { return gui::PSWIZB_FINISH; }
  void on_command(int id, int code) override;

 protected:
  // The first time the error box receives the focus the focus moves on to Finish.
  void on_eb_focus();

 private:
  std::wstring success_text_;
  std::wstring error_text_;
  bool first_focus_ = true;
};
