// A recordset opened through the data-access engine: a worksheet or table (with
// its definition's schema, indexes and record count) or a query.
#pragma once

#include <memory>
#include <string>

#include "OLE/ole_ptr.h"
#include "UDB/udb_recs.h"
#include "dao/dao_rec.h"
#include "platform/dao/dao.h"

class dao_recordset : public udb_recordset {
 public:
  // A table recordset.
  dao_recordset(const std::wstring& name, DAORecordset* rs, DAOTableDef* table);
  // A query recordset with its record count.
  dao_recordset(const std::wstring& name, const std::wstring& sql, DAORecordset* rs, DAOQueryDef* query,
                std::uint32_t count);
  ~dao_recordset() override;

  void append_record(const udb_record& record) override;
  udb_record* get_record() override;
  bool is_eof() override;
  void next() override;
  void prev() override;
  void reset() override;

 private:
  void init_schema(DAOTableDef* table);
  void init_schema(DAOQueryDef* query);
  void init_indexes(DAOTableDef* table);
  void add_descriptor(DAOField* field, int number, bool table_form);

  VARIANT_BOOL eof_ = VARIANT_TRUE;
  std::unique_ptr<dao_record> record_;
  ole_com_ptr<DAORecordset> rs_;
  ole_com_ptr<DAOTableDef> table_;
  ole_com_ptr<DAOQueryDef> query_def_;
};
