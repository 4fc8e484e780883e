// A text command on a session: every SQL statement of the SQL Server side goes
// through one.
#pragma once

#include <string>

#include "OLE/ole_ptr.h"
#include "platform/oledb/oledb_interfaces.h"

class odb_command {
 public:
  // On an existing session.
  explicit odb_command(IUnknown* session);
  // On a session of its own, created on the data source.
  explicit odb_command(IDBInitialize* data_source);
  odb_command(const odb_command&) = delete;
  odb_command& operator=(const odb_command&) = delete;

  // Runs one statement; with rowset, the rows it returns (the caller owns the
  // rowset; null when the statement returns none). Provider failures throw
  // odb_exception.
  HRESULT execute(const std::wstring& text, IRowset** rowset = nullptr);

 private:
  void create_command();

  ole_com_ptr<IUnknown> session_;
  ole_com_ptr<ICommandText> command_;
};
