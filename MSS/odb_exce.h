// OLE DB failures: the exception that carries one, the rule every provider
// call follows, and the user messages keyed by OLE DB result.
#pragma once

#include <string>

#include "TK/tk_errco.h"
#include "TK/tk_excep.h"
#include "platform/oledb/oledb_types.h"

// Level 0; code 0x80000 | (result & 0xFFFF); the message is the provider's
// description in the ANSI code page ("Unknown exception" without one).
class odb_exception : public tk_exception {
 public:
  explicit odb_exception(HRESULT result);

  const std::wstring& get_source() const { return source_; }
  // The server's error number of the record the message came from (0 when
  // the provider gave none): 4060 tells a database that cannot be opened.
  long get_native_error() const { return native_error_; }

 private:
  void extract_from_records(IUnknown* records);
  // Reads one error object's source and description.
  void read_error_info(IUnknown* info);

  std::wstring source_;
  long native_error_ = 0;
};

// The failure rule of every provider call: a negative result is traced
// ("Error code: %08X") and thrown as odb_exception.
void odb_check(HRESULT result);

// The user messages of the OLE DB results.
extern const tk_error_entry odb_error_messages[];
extern const int odb_error_messages_count;
