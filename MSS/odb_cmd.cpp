#include "MSS/odb_cmd.h"

#include "MSS/odb_exce.h"
#include "TK/tk_trace.h"

odb_command::odb_command(IUnknown* session) : session_(session) {
  tk_trace(1, "odb_command::ctor(1)");
  create_command();
}

odb_command::odb_command(IDBInitialize* data_source) {
  tk_trace(1, "odb_command::ctor(2)");
  ole_com_ptr<IDBInitialize> source(data_source);
  ole_com_ptr<IDBCreateSession> factory;
  odb_check(source.query_interface(IID_IDBCreateSession, factory));
  odb_check(factory->CreateSession(nullptr, IID_IOpenRowset, session_.out()));
  create_command();
}

void odb_command::create_command() {
  ole_com_ptr<IDBCreateCommand> factory;
  odb_check(session_.query_interface(IID_IDBCreateCommand, factory));
  ole_com_ptr<IUnknown> command;
  odb_check(factory->CreateCommand(nullptr, IID_ICommand, command.out()));
  odb_check(command.query_interface(IID_ICommandText, command_));
}

HRESULT odb_command::execute(const std::wstring& text, IRowset** rowset) {
  tk_wtrace(2, L"odb_command::execute(%s)", text.c_str());
  odb_check(command_->SetCommandText(DBGUID_DBSQL, text.c_str()));
  IUnknown* result = nullptr;
  HRESULT hr = command_->Execute(nullptr, rowset ? IID_IRowset : IID_NULL, nullptr, nullptr,
                                 rowset ? &result : nullptr);
  odb_check(hr);
  if (rowset) *rowset = static_cast<IRowset*>(result);
  return hr;
}
