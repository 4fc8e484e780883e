// Our OLE DB provider opened as the system opens it, for tests and benchmarks:
// an initialised data source from a connection string, and a session on it.
// Failures throw odb_exception.
#pragma once

#include <string>

#include "MSS/odb_exce.h"
#include "OLE/ole_ptr.h"
#include "platform/com/com_runtime.h"
#include "platform/oledb/oledb_interfaces.h"

inline ole_com_ptr<IDBInitialize> open_data_source(const std::wstring& text) {
  ole_com_ptr<IDataInitialize> init;
  odb_check(CoCreateInstance(CLSID_MSDAINITIALIZE, nullptr, CLSCTX_INPROC_SERVER, IID_IDataInitialize,
                             reinterpret_cast<void**>(init.out())));
  ole_com_ptr<IUnknown> source;
  odb_check(init->GetDataSource(nullptr, CLSCTX_INPROC_SERVER, text.c_str(), IID_IUnknown, source.out()));
  ole_com_ptr<IDBInitialize> result;
  odb_check(source.query_interface(IID_IDBInitialize, result));
  odb_check(result->Initialize());
  return result;
}

inline ole_com_ptr<IOpenRowset> open_session(const ole_com_ptr<IDBInitialize>& source) {
  ole_com_ptr<IDBCreateSession> factory;
  odb_check(source.query_interface(IID_IDBCreateSession, factory));
  ole_com_ptr<IUnknown> unknown;
  odb_check(factory->CreateSession(nullptr, IID_IOpenRowset, unknown.out()));
  ole_com_ptr<IOpenRowset> result;
  odb_check(unknown.query_interface(IID_IOpenRowset, result));
  return result;
}
