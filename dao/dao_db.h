// A database opened through the data-access engine: a workbook's worksheets and
// named ranges as tables, the user's queries over them, and (for a database
// file) tables created and filled.
#pragma once

#include <memory>
#include <string>

#include "OLE/ole_ptr.h"
#include "UDB/udb_db.h"
#include "platform/dao/dao.h"

class dao_database : public udb_database {
 public:
  dao_database(const std::wstring& path, DAODatabase* db, unsigned flags);
  ~dao_database() override;

  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  bool delete_tab(const std::wstring& name) override;
  // read_only bit 0: a read-only dynaset, else append-only. Null for a linked
  // or system table.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int read_only) override;
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql) override;
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql, int read_only);
  // True when the text opens as a recordset; never raises.
  bool test_query(const std::wstring& sql) override;
  // The number of records of a query.
  std::uint32_t get_records_count(const std::wstring& sql);

 private:
  void init_fkeys();
  ole_com_ptr<DAORecordset> open_query(const std::wstring& sql, int options, ole_com_ptr<DAOQueryDef>& query);

  ole_com_ptr<DAODatabase> db_;
  ole_com_ptr<DAOTableDefs> tabledefs_;
  ole_com_ptr<DAOQueryDefs> querydefs_;
};

// Table attributes of linked and system tables.
constexpr unsigned long dao_linked_table = 0x40000000;
constexpr unsigned long dao_system_table = 0x80000002;
