// Workbook reading benchmark.
//   xlsx_read_bench generate FILE ROWS   writes the workbook
//   xlsx_read_bench read FILE            lists its worksheets, reads every one to the end
// and prints BENCH lines: rows per second, peak memory, listing time.
#include <sys/resource.h>
#include <xlsxwriter.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/com/com_runtime.h"
#include "platform/dao/dao.h"

namespace {

int generate(const char* path, long rows) {
  lxw_workbook* book = workbook_new(path);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Rows");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");
  const char* heads[] = {"Id", "Amount", "When", "Code", "Comment", "Active", "Ratio", "Note"};
  for (int c = 0; c < 8; ++c) worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), heads[c], nullptr);
  std::string long_text(120, 'x');
  char buf[64];
  for (long r = 1; r <= rows; ++r) {
    lxw_row_t row = static_cast<lxw_row_t>(r);
    worksheet_write_number(sheet, row, 0, static_cast<double>(r), nullptr);
    worksheet_write_number(sheet, row, 1, r * 1.25, nullptr);
    lxw_datetime when{2000 + static_cast<int>(r % 25), 1 + static_cast<int>(r % 12), 1 + static_cast<int>(r % 28),
                      static_cast<int>(r % 24), static_cast<int>(r % 60), static_cast<double>(r % 60)};
    worksheet_write_datetime(sheet, row, 2, &when, date);
    std::snprintf(buf, sizeof buf, "C%05ld", r % 50000);
    worksheet_write_string(sheet, row, 3, buf, nullptr);
    std::snprintf(buf, sizeof buf, " row %ld", r);
    worksheet_write_string(sheet, row, 4, (long_text + buf).c_str(), nullptr);
    worksheet_write_boolean(sheet, row, 5, static_cast<int>(r % 2), nullptr);
    worksheet_write_number(sheet, row, 6, 1.0 / static_cast<double>(r), nullptr);
    std::snprintf(buf, sizeof buf, "note %ld", r % 997);
    worksheet_write_string(sheet, row, 7, buf, nullptr);
  }
  return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}

template <class T>
struct held {
  T* p = nullptr;
  ~held() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

VARIANT v_int(long n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

int read(const char* path) {
  register_dao_engine();
  CoInitialize(nullptr);
  held<DAODBEngine> engine;
  if (FAILED(CoCreateInstance(CLSID_DBEngine120, nullptr, CLSCTX_ALL, IID_DBEngine,
                              reinterpret_cast<void**>(&engine))))
    return 1;
  std::string narrow = path;
  unique_bstr name(bstr_from(std::wstring(narrow.begin(), narrow.end())));
  VARIANT connect;
  VariantInit(&connect);
  connect.vt = VT_BSTR;
  connect.bstrVal = bstr_from(L"Excel 5.0; IMEX=1;");

  auto start = std::chrono::steady_clock::now();
  held<DAODatabase> db;
  if (FAILED(engine->OpenDatabase(name.get(), v_int(0), v_int(1), connect, &db))) return 1;
  held<DAOTableDefs> tables;
  db->get_TableDefs(&tables);
  short count = 0;
  tables->get_Count(&count);
  std::vector<std::wstring> names;
  for (short i = 0; i < count; ++i) {
    held<DAOTableDef> table;
    tables->get_Item(v_int(i), &table);
    BSTR n = nullptr;
    table->get_Name(&n);
    names.push_back(bstr_text(n));
    SysFreeString(n);
  }
  double list_seconds = seconds_since(start);

  start = std::chrono::steady_clock::now();
  long rows = 0;
  std::size_t checksum = 0;
  for (const auto& table_name : names) {
    held<DAOTableDef> table;
    VARIANT item;
    VariantInit(&item);
    item.vt = VT_BSTR;
    item.bstrVal = bstr_from(table_name);
    tables->get_Item(item, &table);
    VariantClear(&item);
    long records = 0;
    table->get_RecordCount(&records);
    VARIANT sql;
    VariantInit(&sql);
    sql.vt = VT_BSTR;
    sql.bstrVal = bstr_from(L"SELECT * FROM [" + table_name + L"]");
    held<DAOQueryDef> query;
    VARIANT empty;
    VariantInit(&empty);
    if (FAILED(db->CreateQueryDef(empty, sql, &query))) return 1;
    VariantClear(&sql);
    held<DAORecordset> rs;
    if (FAILED(query->OpenRecordset(v_int(2), v_int(4), empty, &rs))) return 1;
    held<DAOFields> fields;
    rs->get_Fields(&fields);
    short field_count = 0;
    fields->get_Count(&field_count);
    std::vector<DAOField*> each(static_cast<std::size_t>(field_count));
    for (short f = 0; f < field_count; ++f) fields->get_Item(v_int(f), &each[static_cast<std::size_t>(f)]);
    VARIANT_BOOL eof = 0;
    rs->get_EOF(&eof);
    while (!eof) {
      for (auto* field : each) {
        VARIANT value;
        field->get_Value(&value);
        checksum += value.vt;
        VariantClear(&value);
      }
      ++rows;
      rs->MoveNext();
      rs->get_EOF(&eof);
    }
    for (auto* field : each) field->Release();
  }
  double read_seconds = seconds_since(start);
  VariantClear(&connect);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("read %ld rows in %.3f s (checksum %zu)\n", rows, read_seconds, checksum);
  std::printf("BENCH xlsx_read_rows_per_s %.0f rows/s target >= 100000\n", rows / read_seconds);
  std::printf("BENCH xlsx_read_peak_mb %.1f MB target <= 200\n", usage.ru_maxrss / 1024.0);
  std::printf("BENCH xlsx_list_s %.3f s target <= 0.2\n", list_seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "generate") == 0) return generate(argv[2], std::atol(argv[3]));
  if (argc >= 3 && std::strcmp(argv[1], "read") == 0) return read(argv[2]);
  std::fprintf(stderr, "usage: xlsx_read_bench generate FILE ROWS | read FILE\n");
  return 2;
}
