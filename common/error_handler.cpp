#include "common/error_handler.h"

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

const char* const access_denied_write =
    "Access denied. Ask your system administrator to grant you\nthe necessary privileges to write "
    "into the database.";
const char* const access_denied_connect =
    "Access denied. Verify the user name and password are correct, and you have\nthe necessary "
    "privileges to connect to the target MySQL server.";
const char* const duplicate_values =
    "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' "
    "article of the product documentation\nfor solution.";
const char* const key_too_long =
    "Primary key in the original database is too long.\nRestart the program with \"Skip "
    "converting indexes\"\ncheckbox selected in order to resolve the conflict.\n";
const char* const database_in_use =
    "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a "
    "different destination name.";
const char* const not_allowed =
    "You are not allowed to connect to the destination MySQL server.\nAsk your system "
    "administrator to grant you necessary privileges\nto create new databases on target MySQL "
    "server.";
const char* const cannot_connect =
    "Can't connect to the MySQL server. Check to verify that MySQL server\nis launched and the "
    "correct host/port values were given.";
const char* const auth_protocol =
    "The program does not support authentication protocol requested by server.\nSee "
    "'Troubleshooting' article of the product documentation.";

// A narrow text of the conversion's own: UTF-8 both ways.
std::wstring to_wide(const std::string& text) { return tk_from_utf8(text); }

}  // namespace

const error_map_entry mysql_error_map[] = {
    {0x400414, access_denied_write}, {0x400415, access_denied_connect},
    {0x400426, duplicate_values},    {0x40042F, key_too_long},
    {0x4003F3, database_in_use},     {0x40046A, not_allowed},
    {0x40041B, database_in_use},     {0x4007D3, cannot_connect},
    {0x4007D5, cannot_connect},      {0x4004E1, auth_protocol},
    {0x4004E2, auth_protocol},
};
const int mysql_error_map_size = static_cast<int>(std::size(mysql_error_map));

error_handler::error_handler(int count, const error_map_entry* table,
                             std::unique_ptr<error_dialogs> dialogs)
    : m_dialogs(std::move(dialogs)) {
  tk_trace(2, "error_handler::ctor");
  for (int i = 0; i < count; ++i) m_messages.emplace(table[i].code, table[i].text);
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(int count, const error_map_entry* table) {
  tk_trace(2, "error_handler::load_err_map");
  for (int i = 0; i < count; ++i) m_messages.emplace(table[i].code, table[i].text);
}

void error_handler::set_context(const std::wstring& context) { m_context = tk_to_utf8(context); }

void error_handler::set_record_context(const std::wstring& table, int record) {
  set_context(table + L", record #" + std::to_wstring(record));
}

std::string error_handler::message_for(const tk_exception& e) const {
  std::string message = m_context.empty() ? std::string() : m_context + ": ";
  auto found = m_messages.find(e.get_code());
  message += found != m_messages.end() && !found->second.empty() ? found->second
                                                                 : std::string(e.what());
  return message;
}

void error_handler::handle(tk_exception& e, bool go_on) {
  tk_trace(2, "error_handler::handle");
  if (e.get_level() >= 2) {
    tk_trace(3, "Internal error:\n%s", e.what());
    if (m_dialogs) {
      m_dialogs->show_internal_error(to_wide(e.what()));
      m_dialogs->end_process(-1);
    }
    throw tk_final_exception();
  }
  std::string message = message_for(e);
  tk_trace(3, "Error:\n%s", message.c_str());
  for (char& c : message)
    if (c == '\n') c = ' ';
  if (m_dialogs) {
    if (std::vector<std::string>* list = m_dialogs->error_list();
        list && list->size() < max_listed_errors)
      list->push_back(message);
  }
  if (e.get_level() == 1) {
    tk_trace(1, "Got 1-level error");
    if (!m_suppress && m_dialogs) {
      tk_trace(1, "Step 1");
      m_dialogs->show_error(to_wide(message));
    }
    tk_trace(1, "Step 2");
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
