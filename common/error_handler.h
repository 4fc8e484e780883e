// The process-wide error reporter: turns a tk_exception into what the user sees,
// by its level. Its dialogs sit behind error_dialogs, which the wizard supplies
// (and tests answer).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TK/tk_excep.h"
#include "TK/tk_singl.h"

// {code, text} rows of a code-to-message table.
struct error_map_entry {
  int code;
  const char* text;
};

// What the handler shows; the wizard's dialogs implement it.
class error_dialogs {
public:
  virtual ~error_dialogs() = default;
  // The internal-error dialog (bug mail, clipboard).
  virtual void show_internal_error(const std::wstring& message) = 0;
  // The error box of a level-1 error.
  virtual void show_error(const std::wstring& message) = 0;
  // The Continue / Abort dialog of a level-0 error: true for Continue; do_not_show
  // receives the state of "Do not show this dialog box again".
  virtual bool ask_continue(const std::wstring& message, bool& do_not_show) = 0;
  // The list of errors the finish page shows; null when there is no wizard.
  virtual std::vector<std::string>* error_list() { return nullptr; }
  // Ends the process after an internal error.
  virtual void end_process(int exit_code) = 0;
};

class error_handler : public tk_singleton<error_handler> {
public:
  error_handler(int count, const error_map_entry* table,
                std::unique_ptr<error_dialogs> dialogs = nullptr);
  ~error_handler();

  void load_err_map(int count, const error_map_entry* table);
  void set_context(const std::wstring& context);
  void set_record_context(const std::wstring& table, int record);
  // Level 2: the internal-error dialog, then the process ends. Level 1: the error
  // box, then tk_final_exception unless go_on. Level 0: Continue / Abort; Abort
  // throws tk_final_exception unless go_on.
  void handle(tk_exception& e, bool go_on);

  void set_dialogs(std::unique_ptr<error_dialogs> dialogs) { m_dialogs = std::move(dialogs); }
  error_dialogs* dialogs() { return m_dialogs.get(); }
  const std::string& context() const { return m_context; }
  bool suppressed() const { return m_suppress; }
  // The message shown for an exception: context, then the table's text for its
  // code or its own text.
  std::string message_for(const tk_exception& e) const;

  static constexpr size_t max_listed_errors = 20;

private:
  std::string m_context;
  bool m_suppress = false;
  std::multimap<int, int> m_help_topics;
  std::map<int, std::string> m_messages;
  std::unique_ptr<error_dialogs> m_dialogs;
};

// The MySQL server's and client's errors.
extern const error_map_entry mysql_error_map[];
extern const int mysql_error_map_size;
