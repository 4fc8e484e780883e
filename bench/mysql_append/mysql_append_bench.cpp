// Appends generated records of 8 fields (integers, decimals, dates, text with
// quotes and non-ASCII characters) through sql_table::append_record, then loads
// the same rows into a table of the same columns with LOAD DATA LOCAL INFILE, and
// prints both rates and their ratio.
#include <mysql.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_tab.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"

namespace {

const char* env(const char* name) {
  const char* value = std::getenv(name);
  if (!value) {
    std::fprintf(stderr, "%s is not set (run through bench/run-benchmarks)\n", name);
    std::exit(2);
  }
  return value;
}

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// The values of row i as text, the same for both ways in.
struct row_values {
  std::wstring id, qty, price, amount, born, stamp, name, note;
  void make(long i) {
    wchar_t buffer[64];
    id = std::to_wstring(i);
    qty = std::to_wstring((i * 7919) % 100000 - 50000);
    std::swprintf(buffer, 64, L"%ld.%02ld", (i * 31) % 1000000, i % 100);
    price = buffer;
    std::swprintf(buffer, 64, L"%ld.%03ld", (i * 17) % 100000, i % 1000);
    amount = buffer;
    std::swprintf(buffer, 64, L"%04ld-%02ld-%02ld", 1950 + i % 70, 1 + i % 12, 1 + i % 28);
    born = buffer;
    std::swprintf(buffer, 64, L"%04ld-%02ld-%02ld %02ld:%02ld:%02ld", 2000 + i % 25, 1 + i % 12,
                  1 + i % 28, i % 24, i % 60, (i * 7) % 60);
    stamp = buffer;
    name = L"O'Brien-Müller #" + id;
    note = L"\"Quoted\" text, café – 東京 " + std::to_wstring(i % 977) + L" \\ end";
  }
};

std::string tsv_escape(const std::wstring& text) {
  std::string out;
  for (char c : tk_to_utf8(text)) {
    if (c == '\\' || c == '\t' || c == '\n') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s ROWS_FILE COUNT\n", argv[0]);
    return 2;
  }
  const std::string rows_file = argv[1];
  const long count = std::atol(argv[2]);
  const std::string host = env("ORV_MYSQL_HOST"), user = env("ORV_MYSQL_USER"),
                    password = env("ORV_MYSQL_PASSWORD");
  const unsigned port = static_cast<unsigned>(std::atoi(env("ORV_MYSQL_PORT")));

  error_handler reporter(mysql_error_map_size, mysql_error_map);
  sql_engine engine;
  engine.connect(host, user, password, port);
  const std::wstring db_name = L"orv_bench_" + std::to_wstring(getpid());
  if (engine.is_db_exist(db_name)) engine.db_delete(db_name);
  std::unique_ptr<udb_database> created = engine.create_db(db_name);
  auto& database = static_cast<sql_database&>(*created);

  udb_schema schema;
  auto column = [&](const wchar_t* name, VARTYPE vt, int size, int extra) {
    schema.push_back(std::make_unique<t_ftd>(size, name, vt, false, false, ole_variant(), extra));
  };
  column(L"id", VT_I4, 4, 0);
  column(L"qty", VT_I4, 4, 0);
  column(L"price", VT_DECIMAL, 0, 0x0E02);
  column(L"amount", VT_R8, 8, 0);
  column(L"born", VT_DATE, 0, 2);
  column(L"stamp", VT_DATE, 0, 1);
  column(L"name", VT_BSTR, 100, 0);
  column(L"note", VT_BSTR, 255, 0);
  database.create_table(L"appended", schema, udb_indexes()).reset();

  // The source side: a cycle of prepared rows (the id changes on every row), so that
  // the figure is the table writer's and not the generator's.
  constexpr long cycle = 4099;
  std::vector<row_values> texts(cycle);
  std::vector<std::vector<ole_variant>> values(cycle);
  for (long k = 0; k < cycle; ++k) {
    texts[k].make(k);
    const std::wstring* fields[] = {&texts[k].id,   &texts[k].qty,   &texts[k].price,
                                    &texts[k].amount, &texts[k].born, &texts[k].stamp,
                                    &texts[k].name, &texts[k].note};
    for (size_t f = 0; f < 8; ++f) {
      ole_variant value;
      value.from_wstring(*fields[f], schema[f].vartype);
      values[k].push_back(value);
    }
  }
  udb_record record;
  for (const t_ftd* c : schema)
    record.add_field(std::make_unique<udb_field>(c->name, c->size, ole_variant()));
  {
    std::unique_ptr<sql_table> table = database.open_table(L"appended");
    const auto start = clock_type::now();
    for (long i = 1; i <= count; ++i) {
      const std::vector<ole_variant>& row = values[i % cycle];
      static_cast<ole_variant&>(record[0]) = ole_variant(static_cast<int>(i));
      for (size_t f = 1; f < 8; ++f) static_cast<ole_variant&>(record[f]) = row[f];
      table->append_record(record);
    }
    table->flush();
    const double elapsed = seconds_since(start);
    const double rate = count / elapsed;
    std::printf("mysql_append: %ld rows in %.2f s, %.0f rows/s\n", count, elapsed, rate);
    std::fflush(stdout);

    // The same rows as a tab-separated file.
    FILE* file = std::fopen(rows_file.c_str(), "wb");
    if (!file) return 1;
    for (long i = 1; i <= count; ++i) {
      const row_values& v = texts[i % cycle];
      std::string line = tsv_escape(std::to_wstring(i)) + '\t' + tsv_escape(v.qty) + '\t' + tsv_escape(v.price) +
                         '\t' + tsv_escape(v.amount) + '\t' + tsv_escape(v.born) + '\t' +
                         tsv_escape(v.stamp) + '\t' + tsv_escape(v.name) + '\t' +
                         tsv_escape(v.note) + '\n';
      std::fwrite(line.data(), 1, line.size(), file);
    }
    std::fclose(file);

    MYSQL* loader = mysql_init(nullptr);
    unsigned int local_infile = 1;
    mysql_options(loader, MYSQL_OPT_LOCAL_INFILE, &local_infile);
    const std::string db = tk_to_utf8(db_name);
    if (!mysql_real_connect(loader, host.c_str(), user.c_str(), password.c_str(), db.c_str(), port,
                            nullptr, 0) ||
        mysql_query(loader, "SET NAMES utf8mb4") != 0 ||
        mysql_query(loader, "CREATE TABLE loaded LIKE appended") != 0) {
      std::fprintf(stderr, "load connection: %s\n", mysql_error(loader));
      return 1;
    }
    const std::string load = "LOAD DATA LOCAL INFILE '" + rows_file +
                             "' INTO TABLE loaded CHARACTER SET utf8mb4 "
                             "FIELDS TERMINATED BY '\\t' ESCAPED BY '\\\\' LINES TERMINATED BY '\\n'";
    const auto load_start = clock_type::now();
    if (mysql_query(loader, load.c_str()) != 0) {
      std::fprintf(stderr, "LOAD DATA: %s\n", mysql_error(loader));
      return 1;
    }
    const double load_elapsed = seconds_since(load_start);
    const double load_rate = count / load_elapsed;
    std::printf("load_data: %ld rows in %.2f s, %.0f rows/s\n", count, load_elapsed, load_rate);

    // Both tables hold the same rows.
    if (mysql_query(loader, "CHECKSUM TABLE appended, loaded") == 0) {
      MYSQL_RES* result = mysql_store_result(loader);
      MYSQL_ROW first = result ? mysql_fetch_row(result) : nullptr;
      const std::string a = first && first[1] ? first[1] : "?";
      MYSQL_ROW second = result ? mysql_fetch_row(result) : nullptr;
      const std::string b = second && second[1] ? second[1] : "?";
      std::printf("checksums: appended %s, loaded %s (%s)\n", a.c_str(), b.c_str(),
                  a == b ? "same rows" : "DIFFERENT");
      if (result) mysql_free_result(result);
    }
    mysql_close(loader);
    std::printf("BENCH mysql_append_vs_load_data_rate %.2f x target >= 0.6\n", rate / load_rate);
  }
  created.reset();
  engine.db_delete(db_name);
  return 0;
}
