#include "common/error_handler.h"

#include <cstdio>
#include <cstdlib>

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

const char* const duplicate_values =
    "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' "
    "article of the product documentation\nfor solution.";
const char* const workgroup_file =
    "Invalid workgroup information file. Return to the previous\nwizard page and verify the correct "
    "path was given.";
const char* const database_in_use =
    "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a "
    "different destination name.";
const char* const cannot_connect =
    "Can't connect to the MySQL server. Check to verify that MySQL server\nis launched and the "
    "correct host/port values were given.";
const char* const auth_protocol =
    "The program does not support authentication protocol requested by server.\nSee "
    "'Troubleshooting' article of the product documentation.";
const char* const table_structure =
    "Failed to recognize table structure in the worksheet.\nYou can migrate the data manually via CSV "
    "format. See\n'CSV Files' article in the documentation for details.";

// Narrow text of the handler is in the calling thread's ANSI code page.
std::wstring to_wide(const std::string& text) { return tk_from_narrow(text, CP_THREAD_ACP); }

void blank_line_feeds(std::string& text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
}

[[noreturn]] void leave_process(int exit_code) {
  std::fflush(nullptr);
  std::_Exit(exit_code);
}

}  // namespace

const error_map_entry dao_error_map[] = {
    {0x10BEF,
     "Not a valid MS Access database name. Use the following characters\nto compose new database "
     "name: alphanumerics (A-Z, a-z, 0-9),\nunderscore characters (_) and spaces."},
    {0x10BCE, duplicate_values},
    {0x10BD5,
     "Not a valid account name or password has been specified\nin MS Access user-level security "
     "settings"},
    {0x10C28,
     "Cannot extract relationships information. See 'Troubleshooting'\narticle of the product "
     "documentation for solution."},
    {0x10C65, workgroup_file},
    {0x10D1E, workgroup_file},
    {0x10D5D,
     "Data type conversion error. Please contact support@veltrask.com\nand attach the file you were "
     "converting."},
};
const int dao_error_map_size = static_cast<int>(std::size(dao_error_map));

const error_map_entry mysql_error_map[] = {
    {0x400414,
     "Access denied. Ask your system administrator to grant you\nthe necessary privileges to write "
     "into the database."},
    {0x400415,
     "Access denied. Verify the user name and password are correct, and you have\nthe necessary "
     "privileges to connect to the target MySQL server."},
    {0x400426, duplicate_values},
    {0x40042F,
     "Primary key in the original database is too long.\nRestart the program with \"Skip converting "
     "indexes\"\ncheckbox selected in order to resolve the conflict.\n"},
    {0x4003F3, database_in_use},
    {0x40046A,
     "You are not allowed to connect to the destination MySQL server.\nAsk your system administrator "
     "to grant you necessary privileges\nto create new databases on target MySQL server."},
    {0x40041B, database_in_use},
    {0x4007D3, cannot_connect},
    {0x4007D5, cannot_connect},
    {0x4004E1, auth_protocol},
    {0x4004E2, auth_protocol},
};
const int mysql_error_map_size = static_cast<int>(std::size(mysql_error_map));

const error_map_entry xls_error_map[] = {
    {0x10C59,
     "The workbook and/or one of its workseets is password protected.\nYou should unprotect it "
     "first. Open it with MS Excel,\nremove the password and run Orvell again.\n"},
    {0x10C76, table_structure},
    {0x10CCA, table_structure},
};
const int xls_error_map_size = static_cast<int>(std::size(xls_error_map));

void error_dialogs::end_process(int exit_code) { leave_process(exit_code); }

error_handler::error_handler(int count, const error_map_entry* table, std::unique_ptr<error_dialogs> dialogs)
    : m_dialogs(std::move(dialogs)) {
  load_err_map(count, table);
  tk_trace(2, "error_handler::ctor");
}

error_handler::error_handler(int count, const error_map_entry* table, console_variant) : m_console(true) {
  load_err_map(count, table);
  tk_trace(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(int count, const error_map_entry* table) {
  tk_trace(2, "error_handler::load_err_map");
  m_messages.load_map(count, table);
}

void error_handler::set_context(const std::wstring& context) {
  m_context = tk_to_narrow(context, CP_THREAD_ACP);
}

void error_handler::set_record_context(const std::wstring& table, int record) {
  set_context(table + L", record #" + std::to_wstring(record));
}

std::string error_handler::message_for(const tk_exception& e) const {
  std::string message = m_context.empty() ? std::string() : m_context + ": ";
  std::string text = m_messages.convert(e.get_code());
  message += text.empty() ? std::string(e.what()) : text;
  return message;
}

void error_handler::add_error(std::string message) {
  blank_line_feeds(message);
  if (!m_dialogs) return;
  if (std::vector<std::string>* list = m_dialogs->error_list(); list && list->size() < max_listed_errors)
    list->push_back(std::move(message));
}

void error_handler::end_console_process(int exit_code) {
  if (m_end_process) {
    m_end_process(exit_code);
    throw tk_final_exception();
  }
  leave_process(exit_code);
}

void error_handler::handle_console(const tk_exception& e) {
  if (e.get_level() >= 2) {
    tk_trace(3, "Internal error:\n%s", e.what());
    std::fprintf(stdout, "Internal error: %s\n", e.what());
    std::fflush(stdout);
    end_console_process(-1);
  }
  std::string message = message_for(e);
  tk_trace(3, "Error:\n%s", message.c_str());
  blank_line_feeds(message);
  ++m_reported;
  if (!m_quiet) {
    std::fprintf(stdout, "Error:\n%s\n", message.c_str());
    std::fflush(stdout);
  }
  if (e.get_level() == 1) {
    tk_trace(1, "Got 1-level error");
    end_console_process(-1);
  }
  tk_trace(1, "Got 0-level error");
}

void error_handler::handle(const tk_exception& e, bool go_on) {
  tk_trace(2, "error_handler::handle");
  if (m_console) return handle_console(e);
  if (e.get_level() >= 2) {
    tk_trace(3, "Internal error:\n%s", e.what());
    if (m_dialogs) {
      m_dialogs->show_internal_error(to_wide(e.what()));
      m_dialogs->end_process(-1);
    } else {
      std::fprintf(stderr, "%s\n", e.what());
      leave_process(-1);
    }
    // Only a test's end_process comes back.
    throw tk_final_exception();
  }

  std::string message = message_for(e);
  tk_trace(3, "Error:\n%s", message.c_str());
  blank_line_feeds(message);
  add_error(message);

  if (e.get_level() == 1) {
    tk_trace(1, "Got 1-level error");
    if (!m_suppress && m_dialogs) {
      tk_trace(1, "Step 1");
      m_dialogs->show_error(to_wide(message));
    }
    tk_trace(1, "Step 2");
    auto [first, last] = m_help_topics.equal_range(e.get_code());
    for (auto it = first; it != last; ++it)
      if (m_dialogs) m_dialogs->display_help(it->second);
    if (!go_on) throw tk_final_exception();
    return;
  }

  tk_trace(1, "Got 0-level error");
  if (m_suppress || !m_dialogs) return;
  bool do_not_show = false;
  const bool go = m_dialogs->ask_continue(to_wide(message), do_not_show);
  if (!go_on && !go) throw tk_final_exception();
  m_suppress = do_not_show;
}
