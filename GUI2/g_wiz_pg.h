// The page base of the wizard: activation, wizard buttons, the sheet's notifications
// turned into virtual handlers, routing by returned dialog id, small control helpers.
//
// A page derives from wizard_page, names its dialog template and header texts, sets
// its flags, and overrides the handlers it needs:
//
//   class delim_page : public wizard_page {
//    public:
//     delim_page() : wizard_page(107, L"Step 3 of 4", L"CSV formatting settings") { has_help = true; }
//     bool page_init() override { ctrls().set_checked(1329 + n, true); return true; }
//     int on_next() override { store(); return 108; }   // jump to the page of dialog 108
//     void on_help() override { wizard_shell::instance().display_help(1013); }
//     void on_command(int id, int code) override { if (id == 1222) invert_chbox(id); }
//   };
//
// on_next/on_back: 0 moves to the neighbouring page in the sheet's order, -1 stays,
// a dialog id jumps to that page. page_init false skips the page.
#pragma once

#include "platform/gui/gui_sheet.h"

#include <map>
#include <string>

class wizard_page : public gui::page {
 public:
  wizard_page(int dialog_id, const wchar_t* header_title = nullptr, const wchar_t* header_subtitle = nullptr,
              gui::resource_set set = gui::resource_set::orvell);
  ~wizard_page() override;

  // Handlers, called on the sheet's notifications.
  virtual bool page_init() { return true; }      // false: the sheet skips the page
  virtual bool on_kill_active() { return true; }  // false keeps the page
  virtual bool on_finish() { return true; }       // false keeps the wizard open
  virtual void on_help() {}
  virtual int on_next() { return 0; }
  virtual int on_back() { return 0; }
  // Asks "Are you sure you want to exit the wizard?" (No by default); true on Yes.
  virtual bool on_cancel();
  // The wizard buttons the page shows (PSWIZB_*): Back and Next unless it says otherwise.
  virtual int wizard_buttons() const { return gui::PSWIZB_BACK | gui::PSWIZB_NEXT; }

  void show_ctrl(int id, bool show);
  // Enabling also gives the control the keyboard focus.
  void enable_ctrl(int id, bool enable);
  // Toggles a plain check box; returns the new state.
  bool invert_chbox(int id);
  // The wizard's title font (bold, 10 points) on a static text.
  void set_title_font(int id);
  // Puts a name saved from an earlier run (the registry, a profile) into an edit. It
  // counts as the user's while the source is still the one it was saved with (source:
  // the source's text now) and gives way to the next suggestion once the source
  // changes. An edit that already holds exactly that text keeps its standing.
  void set_saved_text(int id, const std::wstring& text, const std::wstring& source);
  // Puts a text suggested from the source (a destination or table name) into an edit,
  // unless the user has typed there: only while the edit is empty, still holds the
  // text last suggested for it, or holds a saved name and the source differs from the
  // one it was saved with (source: the source's text now) or was just chosen with
  // Browse (browsed).
  void set_source_text(int id, const std::wstring& suggestion, const std::wstring& source = {},
                       bool browsed = false);

  // The dispatch of the sheet's notifications to the handlers above.
  int on_notify(int code) final;

 protected:
  gui::control_set& ctrls() { return controls(); }

 private:
  int on_set_active();

  struct saved_text {
    std::wstring text, source;
  };
  std::map<int, std::wstring> suggested_;  // the text last suggested for each edit
  std::map<int, saved_text> saved_;        // the saved name each edit holds, with its source
};
