// Errors of db-lib and of the server: our handlers collect them per thread
// (db-lib calls its handlers on the thread that made the call), and a failed
// call turns what was collected into the OLE DB result and error records.
#pragma once

#include <string>
#include <vector>

#include "platform/oledb/error_info.h"

// One message: a server message (severity 11 and above) or a client error.
struct tds_message {
  int number = 0;
  int state = 0;
  int severity = 0;
  std::string text;  // UTF-8
  std::string server;
  std::string procedure;
  int line = 0;
  bool client = false;
};

// The result a server or client error number maps to.
HRESULT tds_error_result(int number);
// The provider's text for a server that cannot be reached.
extern const wchar_t* const tds_unreachable_text;

// Installs our handlers and db-lib's settings once per process; false when
// db-lib cannot start.
bool tds_library_init();
// Empties the calling thread's collected messages.
void tds_clear_messages();
// The messages collected on this thread since the last clear.
const std::vector<tds_message>& tds_messages();
// Adds a message as if the server had sent it (checks done before sending).
void tds_add_message(const tds_message& message);
// Fails with what was collected: the result of the first server message (a
// client 20002 after a refused login gives way to the server's reason), or
// of the first client error, or fallback when nothing was collected; every
// message becomes an error record. The collection is emptied.
HRESULT tds_fail(HRESULT fallback = DB_E_ERRORSINCOMMAND);
// True when a server message of severity 11 or more was collected.
bool tds_has_errors();
