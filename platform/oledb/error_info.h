// Error objects: each thread has a current error object, set by the component
// whose call failed and taken by the caller with GetErrorInfo. Our providers
// set one holding error records (IErrorRecords), each with its description,
// source, SQL state and the server's native error number (ISQLErrorInfo).
#pragma once

#include <string>
#include <vector>

#include "platform/oledb/oledb_interfaces.h"

// Takes the thread's current error object (S_FALSE and null when there is
// none) and clears it.
HRESULT GetErrorInfo(DWORD reserved, IErrorInfo** info);
// Makes info (may be null) the thread's current error object.
HRESULT SetErrorInfo(DWORD reserved, IErrorInfo* info);

// One error record as a provider reports it.
struct oledb_error_record {
  HRESULT result = E_FAIL;
  std::wstring description;
  std::wstring source;
  std::wstring sql_state;  // five characters, e.g. "42S02"
  LONG native_error = 0;
};

// Sets an error object with the records on the calling thread and returns
// result, for "return oledb_fail(hr, records);" in providers.
HRESULT oledb_fail(HRESULT result, const std::vector<oledb_error_record>& records);
// One record of the result with that description, from the source.
HRESULT oledb_fail(HRESULT result, const std::wstring& description, const std::wstring& source);
