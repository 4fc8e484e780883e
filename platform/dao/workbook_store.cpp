// A workbook as a store of the data-access objects.
#include "platform/dao/dao_store.h"
#include "platform/dao/dao_types.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/jet_sql.h"
#include "platform/dao/sql_shape.h"

namespace jet {

namespace {

class query_rows : public row_stream {
 public:
  explicit query_rows(std::unique_ptr<query_cursor> cursor) : cursor_(std::move(cursor)) {}
  const std::vector<field_def>& fields() const override { return cursor_->fields(); }
  bool next(std::vector<value>& record) override { return cursor_->next(record); }
  void rewind() override { cursor_->rewind(); }

 private:
  std::unique_ptr<query_cursor> cursor_;
};

// A whole table streamed straight from the reader, as "SELECT * FROM [t]" gives it.
class table_rows : public row_stream {
 public:
  table_rows(const workbook_db& db, const table_def& def) : db_(db), def_(def), cursor_(db.open_table(def)) {}
  const std::vector<field_def>& fields() const override { return def_.fields; }
  bool next(std::vector<value>& record) override { return cursor_->next(record); }
  void rewind() override { cursor_ = db_.open_table(def_); }

 private:
  const workbook_db& db_;
  const table_def& def_;
  std::unique_ptr<table_cursor> cursor_;
};

// "select count(*) from (query)", answered from the reading that typed the query.
class count_row : public row_stream {
 public:
  explicit count_row(std::uint64_t count) : fields_{{"Expr1000", dbLong, 4}}, count_(count) {}
  const std::vector<field_def>& fields() const override { return fields_; }
  bool next(std::vector<value>& record) override {
    if (done_) return false;
    done_ = true;
    record.assign(1, value{});
    record[0].type = value::kind::integer;
    record[0].integer = static_cast<long long>(count_);
    return true;
  }
  void rewind() override { done_ = false; }

 private:
  std::vector<field_def> fields_;
  std::uint64_t count_;
  bool done_ = false;
};

class workbook_store : public dao_store {
 public:
  workbook_store(const std::string& path, bool header_row) : db_(open_workbook(path), header_row) {}

  bool read_only() const override { return true; }
  std::vector<std::string> table_names() override { return db_.table_names(); }
  long table_attributes(const std::string& table) override {
    if (db_.find_table(table) < 0) throw_jet(err_item_not_found);
    return 0;
  }
  std::vector<column_info> columns(const std::string& table) override {
    std::vector<column_info> out;
    for (const auto& f : db_.table(table).fields) {
      column_info c;
      c.name = f.name;
      c.type = f.type;
      c.size = f.size;
      out.push_back(c);
    }
    return out;
  }
  std::vector<index_info> indexes(const std::string&) override { return {}; }
  long record_count(const std::string& table) override { return static_cast<long>(db_.table(table).record_count); }
  std::vector<std::pair<std::string, std::string>> saved_queries() override { return {}; }
  std::unique_ptr<row_stream> query(const std::string& sql) override {
    std::string table = select_all_table(sql);
    if (!table.empty() && db_.find_table(table) >= 0) return std::make_unique<table_rows>(db_, db_.table(table));
    std::string counted = counted_subquery(sql);
    if (!counted.empty()) return std::make_unique<count_row>(db_.record_count(counted));
    return std::make_unique<query_rows>(db_.query(sql));
  }
  void check_query(const std::string& sql) override { db_.check_query(sql); }
  void create_table(const std::string&, const std::vector<column_info>&, const std::vector<index_info>&) override {
    throw_jet(err_read_only);
  }
  void drop_table(const std::string&) override { throw_jet(err_read_only); }
  void insert(const std::string&, const std::vector<std::string>&, const std::vector<value>&) override {
    throw_jet(err_read_only);
  }

 private:
  workbook_db db_;
};

}  // namespace

std::unique_ptr<dao_store> open_workbook_store(const std::string& path, bool header_row) {
  return std::make_unique<workbook_store>(path, header_row);
}

}  // namespace jet
