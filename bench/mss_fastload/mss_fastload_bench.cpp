// Bulk loading through our provider against FreeTDS's own freebcp: the same
// 8-column rows into the same in-memory TDS test server, in the same run. The
// server answers PRELOGIN as SQL Server does: both log in through TLS.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "MSS/odb_exce.h"
#include "OLE/ole_ptr.h"
#include "platform/oledb/data_convert.h"
#include "platform/oledb/oledb_interfaces.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_provider.h"
#include "tests/support/oledb_session.h"
#include "tests/support/tds_server/tds_server.h"

namespace {

using clock_type = std::chrono::steady_clock;
double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

const char* const columns_sql =
    "([id] int NOT NULL, [qty] int NULL, [price] decimal(12,2) NULL, [amount] float NULL, [born] datetime NULL, "
    "[name] nvarchar(50) NULL, [note] nvarchar(100) NULL, [flag] bit NULL)";

struct row_values {
  int id, qty;
  long long price_cents;
  double amount;
  DBTIMESTAMP born;
  std::string name, note;
  bool flag;
  void make(long i, bool empty_note) {
    id = static_cast<int>(i);
    qty = static_cast<int>((i * 7919) % 100000 - 50000);
    price_cents = (i * 31) % 100000000;
    amount = static_cast<double>((i * 17) % 100000) / 8.0;
    born = DBTIMESTAMP{static_cast<SHORT>(1950 + i % 70), static_cast<USHORT>(1 + i % 12),
                       static_cast<USHORT>(1 + i % 28), static_cast<USHORT>(i % 24), static_cast<USHORT>(i % 60),
                       static_cast<USHORT>(i % 60), 0};
    name = "name " + std::to_string(i % 1000) + " \xC3\xA9";
    note = empty_note ? "" : "note number " + std::to_string(i);
    flag = i % 2;
  }
};

bool empty_row(long i, bool with_empty) { return with_empty && i % 10 < 3; }

// Our bulk-load rowset: one accessor over native types, a commit every 1000 rows.
double load_ours(tds::server& srv, const std::string& table, long rows, bool with_empty) {
  register_sqloledb();
  std::wstring text = L"Provider=sqloledb;Data Source=127.0.0.1," + std::to_wstring(srv.port()) +
                      L";Initial Catalog=bench;User ID=sa;Password=orv-Test-1;";
  auto ds = open_data_source(text);
  auto session = open_session(ds);

  std::wstring name(table.begin(), table.end());
  DBID id{};
  id.eKind = DBKIND_NAME;
  id.uName.pwszName = name.data();
  IUnknown* rowset = nullptr;
  odb_check(session->OpenRowset(nullptr, &id, nullptr, IID_IRowsetFastLoad, 0, nullptr, &rowset));
  ole_com_ptr<IRowsetFastLoad> load;
  load.attach(static_cast<IRowsetFastLoad*>(rowset));
  ole_com_ptr<IAccessor> accessor;
  odb_check(load.query_interface(IID_IAccessor, accessor));

  const DBTYPE types[8] = {DBTYPE_I4, DBTYPE_I4, DBTYPE_NUMERIC, DBTYPE_R8, DBTYPE_DBTIMESTAMP,
                           DBTYPE_WSTR, DBTYPE_WSTR, DBTYPE_BOOL};
  const DBLENGTH sizes[8] = {4, 4, 19, 8, 16, 102, 202, 2};
  std::vector<DBBINDING> bindings(8);
  DBBYTEOFFSET offset = 0;
  for (int i = 0; i < 8; ++i) {
    DBBINDING& b = bindings[i];
    b.iOrdinal = i + 1;
    b.obStatus = offset;
    b.obLength = offset + 4;
    b.obValue = offset + 8;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.cbMaxLen = sizes[i];
    b.wType = types[i];
    offset += 8 + ((sizes[i] + 7) & ~7u);
  }
  HACCESSOR h = 0;
  odb_check(accessor->CreateAccessor(DBACCESSOR_ROWDATA, 8, bindings.data(), 0, &h, nullptr));
  std::vector<BYTE> buffer(offset);
  auto set = [&](int c, const void* value, DBLENGTH length) {
    DBSTATUS ok = DBSTATUS_S_OK;
    std::memcpy(&buffer[bindings[c].obStatus], &ok, 4);
    std::memcpy(&buffer[bindings[c].obLength], &length, 4);
    std::memcpy(&buffer[bindings[c].obValue], value, length);
  };
  row_values v;
  const auto start = clock_type::now();
  for (long i = 0; i < rows; ++i) {
    v.make(i, empty_row(i, with_empty));
    set(0, &v.id, 4);
    set(1, &v.qty, 4);
    DB_NUMERIC price{};
    numeric_from_text(std::to_string(v.price_cents) + "e-2", 12, 2, &price);
    set(2, &price, sizeof price);
    set(3, &v.amount, 8);
    set(4, &v.born, sizeof v.born);
    std::u16string n = utf8_to_utf16(v.name), note = utf8_to_utf16(v.note);
    set(5, n.data(), static_cast<DBLENGTH>(n.size() * 2));
    set(6, note.data(), static_cast<DBLENGTH>(note.size() * 2));
    VARIANT_BOOL flag = v.flag ? VARIANT_TRUE : VARIANT_FALSE;
    set(7, &flag, 2);
    odb_check(load->InsertRow(h, buffer.data()));
    if ((i + 1) % 1000 == 0) odb_check(load->Commit(false));
  }
  odb_check(load->Commit(true));
  return seconds_since(start);
}

// The same rows as freebcp's character file, loaded with -b 1000.
double load_freebcp(tds::server& srv, const std::string& work, const std::string& table, long rows) {
  const std::string file = work + "/rows.tsv";
  FILE* f = std::fopen(file.c_str(), "w");
  row_values v;
  for (long i = 0; i < rows; ++i) {
    v.make(i, false);
    std::fprintf(f, "%d\t%d\t%lld.%02lld\t%.17g\t%04d-%02u-%02u %02u:%02u:%02u.000\t%s\t%s\t%d\n", v.id, v.qty,
                 v.price_cents / 100, v.price_cents % 100, v.amount, v.born.year, v.born.month, v.born.day,
                 v.born.hour, v.born.minute, v.born.second, v.name.c_str(), v.note.c_str(), v.flag ? 1 : 0);
  }
  std::fclose(f);
  const std::string command = "TDSVER=7.4 freebcp bench.dbo." + table + " in " + file +
                              " -c -b 1000 -S 127.0.0.1:" + std::to_string(srv.port()) +
                              " -U sa -P orv-Test-1 >" + work + "/freebcp.log 2>&1";
  const auto start = clock_type::now();
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "freebcp failed (see %s/freebcp.log)\n", work.c_str());
    std::exit(1);
  }
  return seconds_since(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s WORK_DIR ROWS\n", argv[0]);
    return 2;
  }
  const std::string work = argv[1];
  const long rows = std::atol(argv[2]);
  tds::server_options options;
  options.databases = {"bench"};
  tds::server srv(options);
  for (const char* t : {"ours", "theirs", "ours_empty"})
    srv.execute(std::string("CREATE TABLE [") + t + "] " + columns_sql, "bench");
  try {
    const double theirs = load_freebcp(srv, work, "theirs", rows);
    const double ours = load_ours(srv, "ours", rows, false);
    const double ours_empty = load_ours(srv, "ours_empty", rows, true);
    if (srv.row_count("bench", "ours") != static_cast<std::size_t>(rows) ||
        srv.row_count("bench", "theirs") != static_cast<std::size_t>(rows) ||
        srv.row_count("bench", "ours_empty") != static_cast<std::size_t>(rows)) {
      std::fprintf(stderr, "row counts differ\n");
      return 1;
    }
    std::printf("ours %.0f rows/s, with 30%% empty strings %.0f rows/s, freebcp %.0f rows/s\n", rows / ours,
                rows / ours_empty, rows / theirs);
    std::printf("BENCH mss_fastload_vs_freebcp_rate %.3f ratio target >= 0.8\n", theirs / ours);
    std::printf("BENCH mss_fastload_empty30_vs_freebcp_rate %.3f ratio target >= 0.3\n", theirs / ours_empty);
  } catch (const odb_exception& e) {
    std::fprintf(stderr, "load failed: %s (code %X, server error %ld)\n", e.what(), static_cast<unsigned>(e.get_code()), e.get_native_error());
    return 1;
  }
  return 0;
}
