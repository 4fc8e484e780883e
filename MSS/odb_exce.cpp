#include "MSS/odb_exce.h"

#include "OLE/ole_ptr.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/oleaut/bstr.h"
#include "platform/oledb/error_info.h"

namespace {

#define ODB_SERVICE "support@dunmere.example"

std::string to_ansi(const std::wstring& text) { return tk_to_ansi(text); }

}  // namespace

const tk_error_entry odb_error_messages[] = {
    {0x80E03, "Given values violate the database schema."},
    {0x80E07, "A literal value could not be converted to the correct type.Contact to " ODB_SERVICE " for the solution."},
    {0x80E09, "You are not allowed to access MS SQL database. Ask your\nsystem administrator to grant you necessary privileges."},
    {0x80E11, "Invalid column ID. Contact to " ODB_SERVICE " for the solution."},
    {0x80E13, "Invalid value. Contact to " ODB_SERVICE " for the solution."},
    {0x80E17, "A data source with the specified name already exists."},
    {0x80E1D, "Requested conversion is not supported."},
    {0x80E21, "Errors occurred. Contact to " ODB_SERVICE " for the solution."},
    {0x80E2F, "The specified record violates the integrity constraints.\nSee 'Troubleshooting' article of the product documentation\nfor solution."},
    {0x80E30, "The given type name was unrecognized."},
    {0x80E34, "The specified index already exists."},
    {0x80E35, "The specified index does not exist."},
    {0x80E37, "The specified table does not exist."},
    {0x80E3A, "A specified precision was invalid."},
    {0x80E3B, "A specified scale was invalid."},
    {0x80E3C, "Invalid table ID. Contact to " ODB_SERVICE " for the solution."},
    {0x80E3D, "A specified type was invalid."},
    {0x80E3E, "A column ID was occurred more than once in the specification."},
    {0x80E3F, "The specified table already exists. Try to connect as database owner\nusing the appropriate checkbox on 'Connect to MS SQL server' wizard page."},
    {0x80E42, "The specified record number is invalid."},
    {0x80E4D, "Invalid user name or password."},
    {0x80E55, "The specified column did not exist."},
    {0x80E57, "A literal value overflowed the range of the type of the associated column.\nContact to " ODB_SERVICE " for the solution."},
    {0x80E65, "The supplied columnID was invalid."},
    {0x80E72, "The index ID is invalid. Contact to " ODB_SERVICE "\nfor the solution."},
    {0x80EC1, "One or more column types are incompatible; conversion errors will\noccur during copying."},
    {0x80EDA, "Errors occurred. Contact to " ODB_SERVICE " for the solution."},
};
const int odb_error_messages_count = static_cast<int>(sizeof odb_error_messages / sizeof odb_error_messages[0]);

odb_exception::odb_exception(HRESULT result) : tk_exception(0) {
  tk_trace(1, "odb_exception::odb_exception(%08X)", static_cast<unsigned>(result));
  code_ = 0x80000 | (result & 0xFFFF);
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return;
  ole_com_ptr<IErrorInfo> holder;
  holder.attach(info);
  ole_com_ptr<IErrorRecords> records;
  if (SUCCEEDED(holder.query_interface(IID_IErrorRecords, records)) && records) {
    tk_trace(2, "Got IErrorRecords");
    extract_from_records(records.get());
  } else {
    read_error_info(info);
  }
}

void odb_exception::extract_from_records(IUnknown* unknown) {
  tk_trace(2, "odb_exception::extract_from_records");
  auto* records = static_cast<IErrorRecords*>(unknown);
  ULONG count = 0;
  records->GetRecordCount(&count);
  tk_trace(1, "Got %d record(s)", static_cast<int>(count));
  for (ULONG i = 0; i < count; ++i) {
    ERRORINFO basic{};
    records->GetBasicErrorInfo(i, &basic);
    tk_trace(3, "HRESULT:\t0x%08X", static_cast<unsigned>(basic.hrError));
    long native = 0;
    IUnknown* custom = nullptr;
    if (SUCCEEDED(records->GetCustomErrorObject(i, IID_ISQLErrorInfo, &custom)) && custom) {
      auto* sql = static_cast<ISQLErrorInfo*>(custom);
      BSTR state = nullptr;
      LONG number = 0;
      if (SUCCEEDED(sql->GetSQLInfo(&state, &number))) {
        std::string ansi;
        if (!tk_to_ansi(state ? state : L"", ansi)) {
          SysFreeString(state);
          sql->Release();
          throw tk_mail_assertion("odb_exce", 124);
        }
        tk_trace(3, "SQLSTATE:\t%s", ansi.c_str());
        tk_trace(3, "Native Error:\t%ld", static_cast<long>(number));
        native = number;
        SysFreeString(state);
      }
      sql->Release();
    }
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(records->GetErrorInfo(i, LOCALE_USER_DEFAULT, &info)) && info) {
      read_error_info(info);
      info->Release();
      tk_trace(1, "Process %d record: msg=%s, source=%s", static_cast<int>(i), message_.c_str(),
               to_ansi(source_).c_str());
    }
    if (!message_.empty() && message_ != "Unknown exception") {
      native_error_ = native;
      break;
    }
  }
}

void odb_exception::read_error_info(IUnknown* unknown) {
  tk_trace(1, "odb_exception::error_info_dispatcher::ctor");
  auto* info = static_cast<IErrorInfo*>(unknown);
  BSTR source = nullptr, description = nullptr;
  info->GetSource(&source);
  info->GetDescription(&description);
  if (source) {
    tk_trace(1, "Processing source");
    source_ = bstr_text(source);
    tk_trace(3, "Source:\t\t%s\n", to_ansi(source_).c_str());
  }
  if (description) {
    tk_trace(1, "Processing description");
    message_ = to_ansi(bstr_text(description));
    tk_trace(3, "Error message:\t%s", message_.c_str());
    if (message_.empty()) message_ = "Unknown exception";
  }
  SysFreeString(source);
  SysFreeString(description);
}

void odb_check(HRESULT result) {
  if (SUCCEEDED(result)) return;
  tk_trace(2, "Error code: %08X", static_cast<unsigned>(result));
  throw odb_exception(result);
}
