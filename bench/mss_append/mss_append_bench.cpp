// The SQL Server destination's append against FreeTDS's own freebcp: the same
// 8-field rows into the same in-memory TDS test server, in the same run; and
// the bulk-load road against the statement road.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "MSS/mss_db.h"
#include "MSS/mss_engi.h"
#include "MSS/mss_tab.h"
#include "OLE/ole_date.h"
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "UDB/udb_rec.h"
#include "tests/support/tds_server/tds_server.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct row_values {
  int id, qty;
  long long price_cents;
  double amount;
  int year, month, day, hour, minute, second;
  std::string name, note;
  bool flag;
  void make(long i) {
    id = static_cast<int>(i);
    qty = static_cast<int>((i * 7919) % 100000 - 50000);
    price_cents = (i * 31) % 100000000;
    amount = static_cast<double>((i * 17) % 100000) / 8.0;
    year = static_cast<int>(1950 + i % 70);
    month = static_cast<int>(1 + i % 12);
    day = static_cast<int>(1 + i % 28);
    hour = static_cast<int>(i % 24);
    minute = second = static_cast<int>(i % 60);
    name = "name " + std::to_string(i % 1000) + " \xC3\xA9";
    note = "note number " + std::to_string(i);
    flag = i % 2;
  }
};

const wchar_t* const names[8] = {L"id", L"qty", L"price", L"amount", L"born", L"name", L"note", L"flag"};

std::unique_ptr<udb_record> make_record(const row_values& v) {
  auto r = std::make_unique<udb_record>();
  ole_variant price;
  char text[40];
  std::snprintf(text, sizeof text, "%lld.%02lld", v.price_cents / 100, v.price_cents % 100);
  price.from_string(text, VT_DECIMAL);
  SYSTEMTIME st{static_cast<WORD>(v.year), static_cast<WORD>(v.month), 0, static_cast<WORD>(v.day),
                static_cast<WORD>(v.hour), static_cast<WORD>(v.minute), static_cast<WORD>(v.second), 0};
  const ole_variant values[8] = {ole_variant(v.id),          ole_variant(v.qty),   price,
                                 ole_variant(v.amount),      ole_variant(st),      ole_variant(tk_from_utf8(v.name)),
                                 ole_variant(tk_from_utf8(v.note)), ole_variant(v.flag)};
  for (int i = 0; i < 8; ++i) r->add_field(std::make_unique<udb_field>(names[i], 0, values[i]));
  return r;
}

void add(udb_schema& schema, const wchar_t* name, VARTYPE vt, int size = 0, int extra = 0, bool not_null = false) {
  schema.push_back(std::make_unique<t_ftd>(size, name, vt, not_null, false, ole_variant(), extra));
}

// Appends the rows through a new table of the database; the seconds spent in append_record and flush.
double append(mss_database& db, const std::wstring& table, long rows) {
  udb_schema schema;
  add(schema, L"id", VT_I4, 0, 0, true);
  add(schema, L"qty", VT_I4);
  add(schema, L"price", VT_DECIMAL, 0, 12 * 256 + 2);
  add(schema, L"amount", VT_R8);
  add(schema, L"born", VT_DATE);
  add(schema, L"name", VT_BSTR, 50);
  add(schema, L"note", VT_BSTR, 100);
  add(schema, L"flag", VT_BOOL);
  std::unique_ptr<udb_recordset> created = db.create_table(table, schema, udb_indexes());
  auto* target = static_cast<mss_table*>(created.get());
  double spent = 0;
  std::vector<std::unique_ptr<udb_record>> block;
  row_values v;
  for (long at = 0; at < rows; at += 1000) {
    block.clear();
    for (long i = at; i < std::min(rows, at + 1000); ++i) {
      v.make(i);
      block.push_back(make_record(v));
    }
    const auto start = clock_type::now();
    for (const auto& r : block) target->append_record(*r);
    spent += std::chrono::duration<double>(clock_type::now() - start).count();
  }
  const auto start = clock_type::now();
  target->flush();
  return spent + std::chrono::duration<double>(clock_type::now() - start).count();
}

double load_freebcp(tds::server& srv, const std::string& work, long rows) {
  srv.execute("CREATE TABLE [theirs] ([id] int NOT NULL, [qty] int NULL, [price] decimal(12,2) NULL, [amount] "
              "float NULL, [born] datetime NULL, [name] nvarchar(50) NULL, [note] nvarchar(100) NULL, [flag] bit NULL)",
              "bench");
  const std::string file = work + "/rows.tsv";
  FILE* f = std::fopen(file.c_str(), "w");
  row_values v;
  for (long i = 0; i < rows; ++i) {
    v.make(i);
    std::fprintf(f, "%d\t%d\t%lld.%02lld\t%.17g\t%04d-%02d-%02d %02d:%02d:%02d.000\t%s\t%s\t%d\n", v.id, v.qty,
                 v.price_cents / 100, v.price_cents % 100, v.amount, v.year, v.month, v.day, v.hour, v.minute,
                 v.second, v.name.c_str(), v.note.c_str(), v.flag ? 1 : 0);
  }
  std::fclose(f);
  const std::string command = "TDSVER=7.4 freebcp bench.dbo.theirs in " + file + " -c -b 1000 -S 127.0.0.1:" +
                              std::to_string(srv.port()) + " -U sa -P orv-Test-1 >" + work + "/freebcp.log 2>&1";
  const auto start = clock_type::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "freebcp failed (see %s/freebcp.log)\n", work.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s WORK_DIR ROWS STATEMENT_ROWS\n", argv[0]);
    return 2;
  }
  const std::string work = argv[1];
  const long rows = std::atol(argv[2]);
  const long statement_rows = std::atol(argv[3]);
  tds::server_options options;
  tds::server srv(options);
  const std::wstring server = L"127.0.0.1," + std::to_wstring(srv.port());
  try {
    mss_engine engine(false);
    engine.connect(server, L"sa", L"orv-Test-1", true);
    std::unique_ptr<mss_database> db = engine.create_db(L"bench");
    const double theirs = load_freebcp(srv, work, rows);
    const double ours = append(*db, L"ours", rows);
    const double bulk = append(*db, L"bulk", statement_rows);
    engine.connect(server, L"sa", L"orv-Test-1", false);
    const double statements = append(*db, L"statements", statement_rows);
    for (const auto& [table, count] : {std::pair<const char*, long>{"ours", rows}, {"theirs", rows},
                                       {"bulk", statement_rows}, {"statements", statement_rows}}) {
      if (srv.row_count("bench", table) != static_cast<std::size_t>(count)) {
        std::fprintf(stderr, "table %s holds %zu rows, not %ld\n", table, srv.row_count("bench", table), count);
        return 1;
      }
    }
    std::printf("append_record %.0f rows/s, freebcp %.0f rows/s; bulk load %.0f rows/s, statements %.0f rows/s\n",
                rows / ours, rows / theirs, statement_rows / bulk, statement_rows / statements);
    std::printf("BENCH mss_append_vs_freebcp_rate %.3f ratio target >= 0.6\n", theirs / ours);
    std::printf("BENCH mss_bulk_vs_statements_speedup %.2f ratio target >= 10\n", statements / bulk);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "append failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
