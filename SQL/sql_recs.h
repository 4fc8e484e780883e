// Reading MySQL tables and query results: a recordset that pages through a table
// 256 rows at a time, and a recordset that holds one statement's whole result.
#pragma once

#include <mysql.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_rec.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_rel.h"

class sql_database;

constexpr int sql_page_size = 256;
using sql_page = std::array<std::unique_ptr<sql_record>, sql_page_size>;

class sql_recordset : public udb_recordset {
public:
  // A table.
  sql_recordset(sql_database& database, const std::wstring& table, udb_relationships& foreign_keys);
  // A query.
  sql_recordset(sql_database& database, const std::wstring& name, const std::wstring& query,
                udb_relationships& foreign_keys);
  ~sql_recordset() override;

  void append_record(const udb_record& record) override;
  udb_record* get_record() override;
  bool is_eof() override;
  void next() override;
  void prev() override;
  void reset() override;

  unsigned get_rec_count();
  void clean();
  long current_row() const { return m_current_row; }

protected:
  sql_database& m_database;
  udb_relationships& m_foreign_keys;

private:
  void initialize();
  void load_first_page(bool build_schema);

  long m_current_row = 0;
  int m_page_position = 0;
  sql_page m_page;
};

class sql_tmp_recordset : public udb_recordset {
public:
  // Takes over the result set and reads all of it.
  explicit sql_tmp_recordset(MYSQL_RES* result);
  ~sql_tmp_recordset() override;

  void append_record(const udb_record& record) override;
  udb_record* get_record() override;
  bool is_eof() override;
  void next() override;
  void prev() override;
  void reset() override;

  size_t size() const { return m_records.size(); }
  sql_record& operator[](size_t i) { return *m_records[i]; }

private:
  size_t m_position = 0;
  std::vector<std::unique_ptr<sql_record>> m_records;
};
