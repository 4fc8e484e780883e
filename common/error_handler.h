// The process-wide error reporter of the conversion wizards.
//
// error_handler::handle turns a tk_exception into what the user sees, by its
// level: 2 shows the internal-error dialog and ends the process with -1; 1 shows
// the error box and ends the run; 0 asks whether to continue. The messages of
// levels 0 and 1 are looked up in the code-to-message tables, prefixed by the
// current context and added to the wizard's error list (at most 20 entries).
//
// The dialogs, the error list and the help file sit behind error_dialogs, which
// the wizard fills with its real dialogs and tests and the headless runner
// answer. Without dialogs nothing is shown, level-0 errors continue and no list
// is kept.
//
// The console program builds the console variant instead: it prints "Error:"
// and the message on standard output (unless quiet), ends the process with -1
// on level 1, prints "Internal error: " and the text also when quiet and ends
// the process with -1 on level 2, and returns on level 0. It counts the errors
// it reported, printed or kept quiet, so that the program's exit code tells.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_errco.h"
#include "TK/tk_excep.h"
#include "TK/tk_singl.h"

// {code, text} rows of a code-to-message table.
using error_map_entry = tk_error_entry;

// What the handler shows; the wizard's dialogs implement it.
class error_dialogs {
public:
  virtual ~error_dialogs() = default;
  // The internal-error dialog (114: Send bug, OK, Copy to clipboard).
  virtual void show_internal_error(const std::wstring& message) = 0;
  // The wizard shell's error box of a level-1 error (title + " Error").
  virtual void show_error(const std::wstring& message) = 0;
  // The Continue / Abort dialog (115) of a level-0 error: true for Continue;
  // do_not_show receives the state of "&Do not show this dialog box again".
  virtual bool ask_continue(const std::wstring& message, bool& do_not_show) = 0;
  // The error list that the finish page shows; null while the wizard shell is
  // not initialised.
  virtual std::vector<std::string>* error_list() { return nullptr; }
  // Opens a help topic mapped to an error code.
  virtual void display_help(int /*topic*/) {}
  // Ends the process after an internal error. The default leaves at once,
  // without running destructors (a worker thread may still be running).
  virtual void end_process(int exit_code);
};

class error_handler : public tk_singleton<error_handler> {
public:
  static constexpr size_t max_listed_errors = 20;

  struct console_variant {};

  error_handler(int count, const error_map_entry* table, std::unique_ptr<error_dialogs> dialogs = nullptr);
  // The console variant.
  error_handler(int count, const error_map_entry* table, console_variant);
  ~error_handler();

  // Adds a table's pairs; a code already present keeps its first text.
  void load_err_map(int count, const error_map_entry* table);
  // The context becomes the text in the calling thread's ANSI code page.
  void set_context(const std::wstring& context);
  // The context becomes "<table>, record #<record>".
  void set_record_context(const std::wstring& table, int record);

  // Level 2: the internal-error dialog, then the process ends. Level 1: the
  // error box (unless suppressed) and its help topics, then tk_final_exception
  // unless go_on. Level 0: Continue / Abort (unless suppressed); Abort throws
  // tk_final_exception unless go_on.
  void handle(const tk_exception& e, bool go_on);

  // Adds a message (line feeds turned into blanks) to the wizard's error list
  // while it holds fewer than 20 entries. For failures that are no tk_exception.
  void add_error(std::string message);

  // The message shown for an exception: context + ": ", then the table's text
  // for its code or, when none, the exception's own text.
  std::string message_for(const tk_exception& e) const;

  // Help topics opened for a level-1 error of a code; orvell_wizard maps none.
  void add_help_topic(int code, int topic) { m_help_topics.emplace(code, topic); }

  // Console variant: no output but the internal error's ("--silent").
  void set_quiet(bool quiet) { m_quiet = quiet; }
  bool is_quiet() const { return m_quiet; }
  bool is_console() const { return m_console; }
  // Errors of levels 0 and 1 handled so far, shown or kept quiet.
  unsigned errors_reported() const { return m_reported; }
  // Counts an error that was reported otherwise (a worksheet not found).
  void count_error() { ++m_reported; }
  // Console variant: how the process ends (tests replace it; when it returns,
  // handle throws tk_final_exception).
  void set_end_process(std::function<void(int)> end) { m_end_process = std::move(end); }

  void set_dialogs(std::unique_ptr<error_dialogs> dialogs) { m_dialogs = std::move(dialogs); }
  error_dialogs* dialogs() { return m_dialogs.get(); }
  const std::string& context() const { return m_context; }
  bool suppressed() const { return m_suppress; }

private:
  void handle_console(const tk_exception& e);
  [[noreturn]] void end_console_process(int exit_code);

  bool m_console = false;
  bool m_quiet = false;
  unsigned m_reported = 0;
  std::function<void(int)> m_end_process;
  std::string m_context;
  bool m_suppress = false;
  std::multimap<int, int> m_help_topics;
  tk_error_converter m_messages;
  std::unique_ptr<error_dialogs> m_dialogs;
};

// The wizard's tables: data access (given to the constructor), then MySQL and
// workbook (loaded with load_err_map).
extern const error_map_entry dao_error_map[];
extern const int dao_error_map_size;
extern const error_map_entry mysql_error_map[];
extern const int mysql_error_map_size;
extern const error_map_entry xls_error_map[];
extern const int xls_error_map_size;
