// What the data-access objects read and write: a workbook (read only) or a
// database file standing in for an Access database.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dao/value.h"
#include "platform/dao/workbook_db.h"

namespace jet {

struct column_info {
  std::string name;
  int type = 0;  // dao_type
  long size = 0;
  bool required = false;
  long attributes = 0;
  std::string default_text;  // as DAO shows it: "abc" in double quotes, numbers bare
  bool allow_zero_length = true;
};

struct index_info {
  std::string name;
  bool primary = false;
  bool unique = false;
  std::vector<std::string> columns;
};

// The rows of a query: fields, then records.
class row_stream {
 public:
  virtual ~row_stream() = default;
  virtual const std::vector<field_def>& fields() const = 0;
  virtual bool next(std::vector<value>& record) = 0;
  virtual void rewind() = 0;
};

class dao_store {
 public:
  virtual ~dao_store() = default;
  virtual bool read_only() const = 0;
  virtual std::vector<std::string> table_names() = 0;
  virtual long table_attributes(const std::string& table) = 0;
  virtual std::vector<column_info> columns(const std::string& table) = 0;
  virtual std::vector<index_info> indexes(const std::string& table) = 0;
  virtual long record_count(const std::string& table) = 0;
  // Saved queries: name and SQL.
  virtual std::vector<std::pair<std::string, std::string>> saved_queries() = 0;
  virtual std::unique_ptr<row_stream> query(const std::string& sql) = 0;
  // Fails as query would, without reading any record.
  virtual void check_query(const std::string& sql) = 0;
  virtual void create_table(const std::string& table, const std::vector<column_info>& columns,
                            const std::vector<index_info>& indexes) = 0;
  virtual void drop_table(const std::string& table) = 0;
  virtual void insert(const std::string& table, const std::vector<std::string>& names,
                      const std::vector<value>& values) = 0;
};

// A workbook opened with or without a header row; every write fails (3027).
std::unique_ptr<dao_store> open_workbook_store(const std::string& path, bool header_row);

// A database file (SQLite underneath): opened, or created new (3010-like error
// when it exists: "Database already exists.").
std::unique_ptr<dao_store> open_file_store(const std::string& path, bool read_only);
std::unique_ptr<dao_store> create_file_store(const std::string& path);

}  // namespace jet
