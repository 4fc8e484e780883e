// Tables defined through the provider, filled by bulk load and by statements,
// and read back through the odb_ recordsets.
#include <algorithm>
#include <cstring>
#include <map>

#include "MSS/odb_cmd.h"
#include "MSS/odb_mdat.h"
#include "MSS/odb_recs.h"
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/variant.h"
#include "platform/oledb/data_convert.h"
#include "platform/oledb/memory_stream.h"
#include "platform/tds/tds_sql.h"
#include "tests/MSS/mss_test_server.h"
#include "tests/support/oledb_session.h"

#include <unistd.h>

#include <cstdlib>

namespace {

// Column descriptions with their names and properties kept alive.
struct table_def {
  std::vector<std::wstring> names;
  std::vector<DBCOLUMNDESC> columns;
  std::vector<std::vector<DBPROP>> props;
  std::vector<DBPROPSET> sets;

  void add(const wchar_t* name, DBTYPE type, DBLENGTH size, BYTE precision = 0, BYTE scale = 0,
           bool identity = false, bool nullable = true) {
    names.emplace_back(L"[" + std::wstring(name) + L"]");
    DBCOLUMNDESC c{};
    c.wType = type;
    c.ulColumnSize = size;
    c.bPrecision = precision;
    c.bScale = scale;
    columns.push_back(c);
    std::vector<DBPROP> p(2);
    for (auto& x : p) VariantInit(&x.vValue);
    p[0].dwPropertyID = DBPROP_COL_AUTOINCREMENT;
    p[0].vValue.vt = VT_BOOL;
    p[0].vValue.boolVal = identity ? VARIANT_TRUE : VARIANT_FALSE;
    p[1].dwPropertyID = DBPROP_COL_NULLABLE;
    p[1].vValue.vt = VT_BOOL;
    p[1].vValue.boolVal = nullable ? VARIANT_TRUE : VARIANT_FALSE;
    props.push_back(p);
  }
  void create(IOpenRowset* session, const std::wstring& table) {
    sets.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      sets.push_back(DBPROPSET{props[i].data(), 2, DBPROPSET_COLUMN});
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
      columns[i].dbcid.eKind = DBKIND_NAME;
      columns[i].dbcid.uName.pwszName = names[i].data();
      columns[i].rgPropertySets = &sets[i];
      columns[i].cPropertySets = 1;
    }
    ole_com_ptr<IOpenRowset> s(session);
    ole_com_ptr<ITableDefinition> definition;
    odb_check(s.query_interface(IID_ITableDefinition, definition));
    std::wstring name = table;
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = name.data();
    IUnknown* rowset = nullptr;
    odb_check(definition->CreateTable(nullptr, &id, static_cast<DBORDINAL>(columns.size()), columns.data(),
                                      IID_IUnknown, 0, nullptr, nullptr, &rowset));
    if (rowset) rowset->Release();
  }
};

// A bulk-load row buffer: per column a 4-byte status, a 4-byte length and the value.
struct load_row {
  std::vector<DBBINDING> bindings;
  std::vector<BYTE> buffer;

  void bind(DBTYPE type, DBLENGTH max) {
    DBBINDING b{};
    b.iOrdinal = static_cast<DBORDINAL>(bindings.size() + 1);
    b.obStatus = static_cast<DBBYTEOFFSET>(buffer.size());
    b.obLength = b.obStatus + 4;
    b.obValue = b.obStatus + 8;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.cbMaxLen = max;
    b.wType = type;
    bindings.push_back(b);
    buffer.resize(buffer.size() + 8 + ((max + 7) & ~7u));
  }
  void set(int column, const void* value, DBLENGTH length) {
    const DBBINDING& b = bindings[column];
    DBSTATUS ok = DBSTATUS_S_OK;
    std::memcpy(&buffer[b.obStatus], &ok, 4);
    std::memcpy(&buffer[b.obLength], &length, 4);
    std::memcpy(&buffer[b.obValue], value, length);
  }
  template <class T>
  void set(int column, T value) {
    set(column, &value, sizeof value);
  }
  void text(int column, std::u16string value) { set(column, value.data(), static_cast<DBLENGTH>(value.size() * 2)); }
  void null(int column) {
    DBSTATUS s = DBSTATUS_S_ISNULL;
    std::memcpy(&buffer[bindings[column].obStatus], &s, 4);
  }
};

ole_com_ptr<IRowsetFastLoad> open_load(IOpenRowset* session, const std::wstring& table) {
    std::wstring name = table;
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = name.data();
    DBPROP props[2]{};
    props[0].dwPropertyID = SSPROP_IRowsetFastLoad;
    props[1].dwPropertyID = SSPROP_FASTLOADKEEPIDENTITY;
    for (auto& p : props) {
      p.vValue.vt = VT_BOOL;
      p.vValue.boolVal = VARIANT_TRUE;
    }
    DBPROPSET set{props, 2, DBPROPSET_SQLSERVERROWSET};
    IUnknown* rowset = nullptr;
    odb_check(session->OpenRowset(nullptr, &id, nullptr, IID_IRowsetFastLoad, 1, &set, &rowset));
    ole_com_ptr<IRowsetFastLoad> load;
    load.attach(static_cast<IRowsetFastLoad*>(rowset));
    return load;
  }
HACCESSOR accessor(IRowsetFastLoad* load, const load_row& row) {
    ole_com_ptr<IRowsetFastLoad> holder(load);
    ole_com_ptr<IAccessor> a;
    odb_check(holder.query_interface(IID_IAccessor, a));
    HACCESSOR h = 0;
    std::vector<DBBINDSTATUS> status(row.bindings.size());
    odb_check(a->CreateAccessor(DBACCESSOR_ROWDATA, static_cast<DBCOUNTITEM>(row.bindings.size()),
                                row.bindings.data(), 0, &h, status.data()));
    return h;
  }
// Every row of the table as the odb_ recordset reads it, each field as text.
std::vector<std::vector<std::wstring>> read(IOpenRowset* session, const std::wstring& table) {
    std::wstring name = table;
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = name.data();
    IUnknown* rowset = nullptr;
    odb_check(session->OpenRowset(nullptr, &id, nullptr, IID_IRowset, 0, nullptr, &rowset));
    odb_recordset r(static_cast<IRowset*>(rowset));
    rowset->Release();
    std::vector<std::vector<std::wstring>> rows;
    for (r.reset(); !r.is_eof(); r.next()) {
      std::vector<std::wstring> fields;
      odb_record* rec = r.get_item();
      for (std::size_t i = 0; i < rec->size(); ++i)
        fields.push_back((*rec)[i].get_vt() == VT_EMPTY ? L"<null>" : (*rec)[i].to_wstring());
      rows.push_back(fields);
    }
    return rows;
  }

class odb_load_test : public mss_server_test {
 protected:
  // A bulk load into a new table [t] of one int column.
  struct int_load {
    ole_com_ptr<IOpenRowset> session;
    ole_com_ptr<IRowsetFastLoad> load;
    load_row row;
    HACCESSOR h = 0;
    HRESULT insert(LONG value) {
      row.set<LONG>(0, value);
      return load->InsertRow(h, row.buffer.data());
    }
  };
  int_load load_ints() {
    int_load t;
    t.session = session();
    table_def def;
    def.add(L"id", DBTYPE_I4, 4);
    def.create(t.session.get(), L"t");
    t.load = open_load(t.session.get(), L"t");
    t.row.bind(DBTYPE_I4, 4);
    t.h = accessor(t.load.get(), t.row);
    return t;
  }
};

TEST_F(odb_load_test, EveryTypeByBulkLoadAndBackExactly) {
  auto s = session();
  table_def def;
  def.add(L"i2", DBTYPE_I2, 2);
  def.add(L"i4", DBTYPE_I4, 4);
  def.add(L"i8", DBTYPE_I8, 8);
  def.add(L"u1", DBTYPE_UI1, 1);
  def.add(L"r8", DBTYPE_R8, 8);
  def.add(L"cy", DBTYPE_CY, 8);
  def.add(L"b", DBTYPE_BOOL, 2);
  def.add(L"ts", DBTYPE_DBTIMESTAMP, 16);
  def.add(L"num", DBTYPE_NUMERIC, 19, 38, 10);
  def.add(L"ws", DBTYPE_WSTR, 20);
  def.add(L"wmax", DBTYPE_WSTR, 0);
  def.add(L"bin", DBTYPE_BYTES, 8);
  def.create(s.get(), L"[all]");
  auto columns = srv().columns("orv", "all");
  ASSERT_EQ(columns.size(), 12u);
  EXPECT_EQ(tds::type_name(columns[8].type), "decimal(38,10)");
  EXPECT_EQ(tds::type_name(columns[9].type), "nvarchar(20)");
  EXPECT_EQ(tds::type_name(columns[10].type), "nvarchar(max)");

  auto load = open_load(s.get(), L"[all]");
  load_row row;
  for (auto [type, max] : std::initializer_list<std::pair<DBTYPE, DBLENGTH>>{
           {DBTYPE_I2, 2}, {DBTYPE_I4, 4}, {DBTYPE_I8, 8}, {DBTYPE_UI1, 1}, {DBTYPE_R8, 8}, {DBTYPE_CY, 8},
           {DBTYPE_BOOL, 2}, {DBTYPE_DBTIMESTAMP, 16}, {DBTYPE_NUMERIC, 19}, {DBTYPE_WSTR, 64},
           {DBTYPE_IUNKNOWN, 8}, {DBTYPE_BYTES, 8}})
    row.bind(type, max);
  HACCESSOR h = accessor(load.get(), row);

  // Row 1: every value.
  row.set<SHORT>(0, -32768);
  row.set<LONG>(1, 2147483647);
  row.set<LONGLONG>(2, -9223372036854775807LL);
  row.set<BYTE>(3, 255);
  row.set<double>(4, 0.1);
  row.set<LONGLONG>(5, 123456789);  // 12345.6789
  row.set<VARIANT_BOOL>(6, VARIANT_TRUE);
  row.set(7, DBTIMESTAMP{2004, 5, 6, 12, 34, 56, 0});
  DB_NUMERIC n{};
  ASSERT_EQ(numeric_from_text("-123456789012345678.1234567891", 38, 10, &n), S_OK);
  row.set(8, n);
  row.text(9, u"O'Neil \U0001F600 漢字");
  std::u16string long_text(50000, u'x');  // 100 kB through a stream
  long_text[0] = u'\u00E9';
  auto* stream = new memory_stream;
  stream->Write(long_text.data(), static_cast<ULONG>(long_text.size() * 2), nullptr);
  ISequentialStream* p = stream;
  row.set(10, &p, sizeof p);
  const BYTE bytes[3] = {0, 0xFF, 0x10};
  row.set(11, bytes, 3);
  odb_check(load->InsertRow(h, row.buffer.data()));
  stream->Release();

  // Row 2: NULL everywhere but the texts: an empty one and an emoji.
  for (int i = 0; i < 12; ++i) row.null(i);
  row.text(9, u"");
  auto* empty = new memory_stream;  // a 4-byte character, sent in a statement with the ''
  const std::u16string emoji = u"\U0001F600'";
  empty->Write(emoji.data(), static_cast<ULONG>(emoji.size() * 2), nullptr);
  p = empty;
  row.set(10, &p, sizeof p);
  odb_check(load->InsertRow(h, row.buffer.data()));
  empty->Release();
  odb_check(load->Commit(true));
  load = nullptr;

  auto stored = srv().rows("orv", "all");
  ASSERT_EQ(stored.size(), 2u);
  std::size_t full = stored[0][9].null ? 1 : 0;
  EXPECT_EQ(tds::cell_utf16(stored[full][9]), u"O'Neil \U0001F600 漢字");
  EXPECT_EQ(tds::cell_utf16(stored[full][10]), long_text);
  EXPECT_EQ(tds::cell_text(columns[8].type, stored[full][8]), "-123456789012345678.1234567891");
  EXPECT_EQ(stored[full][11].bytes, std::string("\0\xFF\x10", 3));
  const std::size_t blank = 1 - full;
  EXPECT_FALSE(stored[blank][9].null);
  EXPECT_EQ(stored[blank][9].bytes, "");
  EXPECT_EQ(tds::cell_utf16(stored[blank][10]), u"\U0001F600'");
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 11}) EXPECT_TRUE(stored[blank][i].null) << i;

  auto rows = read(s.get(), L"[all]");
  ASSERT_EQ(rows.size(), 2u);
  const auto& r = rows[full];
  EXPECT_EQ(r[0], L"-32768");
  EXPECT_EQ(r[1], L"2147483647");
  EXPECT_EQ(r[2], L"-9223372036854775807");
  EXPECT_EQ(r[3], L"255");
  EXPECT_EQ(std::stod(r[4]), 0.1);
  EXPECT_EQ(r[5], L"12345.6789");
  EXPECT_EQ(r[6], L"1");
  EXPECT_EQ(r[7], L"2004-05-06 12:34:56");
  EXPECT_EQ(r[8], L"-123456789012345678.1234567891");
  EXPECT_EQ(r[9], L"O'Neil \U0001F600 漢字");
  EXPECT_EQ(r[10].size(), 50000u);
  EXPECT_EQ(r[11], L"0x00FF10");
  EXPECT_EQ(rows[blank][9], L"");
  EXPECT_EQ(rows[blank][0], L"<null>");
}

TEST_F(odb_load_test, DateTimeGuidMoneyAndLongBinaryColumns) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [dt] ([d] date NULL, [t] time(3) NULL, [d2] datetime2(3) NULL, [sd] smalldatetime NULL, "
                  L"[g] uniqueidentifier NULL, [m] money NULL, [r] real NULL, [u] tinyint NULL, [vb] varbinary(max) NULL, "
                  L"[s] nvarchar(3) NULL)");
  auto load = open_load(s.get(), L"dt");
  load_row row;
  for (DBTYPE t : {DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMP, DBTYPE_DBTIMESTAMP}) row.bind(t, 16);
  row.bind(DBTYPE_GUID, 16);
  row.bind(DBTYPE_CY, 8);
  row.bind(DBTYPE_R4, 4);
  row.bind(DBTYPE_UI1, 1);
  row.bind(DBTYPE_IUNKNOWN, 8);
  row.bind(DBTYPE_WSTR, 8);
  HACCESSOR h = accessor(load.get(), row);
  row.text(9, u"b");
  const DBTIMESTAMP when{1600, 2, 29, 13, 14, 15, 250000000};
  row.set(0, when);
  row.set(1, when);
  row.set(2, when);
  row.set(3, DBTIMESTAMP{2004, 5, 6, 7, 8, 0, 0});
  const GUID g{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
  row.set(4, g);
  row.set<LONGLONG>(5, -12345678901234LL);  // -1234567890.1234
  row.set<float>(6, 1.5f);
  row.set<BYTE>(7, 200);
  std::string blob(70000, '\0');
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>(i * 7);
  auto* stream = new memory_stream;
  stream->Write(blob.data(), static_cast<ULONG>(blob.size()), nullptr);
  ISequentialStream* p = stream;
  row.set(8, &p, sizeof p);
  odb_check(load->InsertRow(h, row.buffer.data()));
  stream->Release();
  // The same values once more with an empty text: by statement.
  row.text(9, u"");
  row.null(8);
  odb_check(load->InsertRow(h, row.buffer.data()));
  odb_check(load->Commit(true));
  load = nullptr;
  auto columns = srv().columns("orv", "dt");
  auto stored = srv().rows("orv", "dt");
  ASSERT_EQ(stored.size(), 2u);
  if (stored[0][9].bytes.empty()) std::swap(stored[0], stored[1]);
  for (int c : {0, 1, 2, 3, 4, 5, 6, 7}) EXPECT_EQ(stored[1][c], stored[0][c]) << c;
  EXPECT_EQ(tds::cell_text(columns[0].type, stored[0][0]), "1600-02-29");
  EXPECT_EQ(tds::cell_text(columns[1].type, stored[0][1]), "13:14:15.250");
  EXPECT_EQ(tds::cell_text(columns[2].type, stored[0][2]), "1600-02-29 13:14:15.250");
  EXPECT_EQ(tds::cell_text(columns[5].type, stored[0][5]), "-1234567890.1234");
  EXPECT_EQ(stored[0][8].bytes, blob);
  auto rows = read(s.get(), L"dt");
  ASSERT_EQ(rows.size(), 2u);
  if (rows[0][9].empty()) std::swap(rows[0], rows[1]);
  EXPECT_EQ(rows[0][5], L"-1234567890.1234");
  EXPECT_EQ(std::stod(rows[0][6]), 1.5);
  EXPECT_EQ(rows[0][7], L"200");
  EXPECT_EQ(rows[0][3], L"2004-05-06 07:08:00");
}

// datetime keeps 1/300 seconds and smalldatetime minutes, each rounded as the
// server rounds: a time rounded up to midnight is the next day's, by bulk
// load as by statement (an empty text sends the same row so).
TEST_F(odb_load_test, TimesRoundAsTheServerRoundsThemIntoTheNextDay) {
  const struct {
    DBTIMESTAMP when;
    const char *datetime, *smalldatetime;  // "" refused
  } cases[] = {
      {{2004, 5, 6, 23, 59, 59, 999000000}, "2004-05-07 00:00:00.000", "2004-05-07 00:00:00"},
      {{2004, 5, 6, 23, 59, 59, 998000000}, "2004-05-06 23:59:59.997", "2004-05-07 00:00:00"},
      {{2004, 5, 6, 23, 59, 29, 999000000}, "2004-05-06 23:59:30.000", "2004-05-07 00:00:00"},
      {{2004, 5, 6, 23, 59, 29, 998000000}, "2004-05-06 23:59:29.997", "2004-05-06 23:59:00"},
      {{2004, 5, 6, 12, 0, 45, 0}, "2004-05-06 12:00:45.000", "2004-05-06 12:01:00"},
      {{2004, 12, 31, 23, 59, 59, 999000000}, "2005-01-01 00:00:00.000", "2005-01-01 00:00:00"},
      {{9999, 12, 31, 23, 59, 59, 999000000}, "", ""},
  };
  auto s = session();
  odb_command command(s.get());
  command.execute(
      L"CREATE TABLE [r] ([id] int NULL, [dt] datetime NULL, [sd] smalldatetime NULL, [s] nvarchar(3) NULL)");
  auto load = open_load(s.get(), L"r");
  load_row row;
  row.bind(DBTYPE_I4, 4);
  row.bind(DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP));
  row.bind(DBTYPE_DBTIMESTAMP, sizeof(DBTIMESTAMP));
  row.bind(DBTYPE_WSTR, 8);
  HACCESSOR h = accessor(load.get(), row);
  for (int column = 1; column <= 2; ++column) {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      for (const std::u16string text : {u"b", u""}) {
        const std::string expected = column == 1 ? cases[i].datetime : cases[i].smalldatetime;
        row.set<LONG>(0, static_cast<LONG>(column * 100 + i * 2 + text.empty()));
        row.set(column, cases[i].when);
        row.null(3 - column);
        row.text(3, text);
        const HRESULT hr = load->InsertRow(h, row.buffer.data());
        EXPECT_EQ(SUCCEEDED(hr), !expected.empty()) << i;
        if (text.empty()) odb_check(load->Commit(false));
      }
    }
  }
  odb_check(load->Commit(true));
  auto columns = srv().columns("orv", "r");
  std::map<int, std::string> stored;
  for (const auto& r : srv().rows("orv", "r")) {
    const int id = static_cast<int>(tds::cell_int(r[0]));
    const int column = id / 100;
    stored[id] = tds::cell_text(columns[column].type, r[column]);
  }
  for (int column = 1; column <= 2; ++column)
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const std::string expected = column == 1 ? cases[i].datetime : cases[i].smalldatetime;
      for (int by_statement = 0; by_statement < 2; ++by_statement) {
        const int id = static_cast<int>(column * 100 + i * 2 + by_statement);
        if (expected.empty())
          EXPECT_EQ(stored.count(id), 0u) << id;
        else
          EXPECT_EQ(stored[id], expected) << id;
      }
    }
}

TEST_F(odb_load_test, OverlongValuesFailTheirRowOnlyAndBatchesCommit) {
  auto s = session();
  table_def def;
  def.add(L"id", DBTYPE_I4, 4, 0, 0, true, false);
  def.add(L"s", DBTYPE_WSTR, 5);
  def.create(s.get(), L"[dbo].[t]");
  auto load = open_load(s.get(), L"[dbo].[t]");
  load_row row;
  row.bind(DBTYPE_I4, 4);
  row.bind(DBTYPE_WSTR, 40);
  HACCESSOR h = accessor(load.get(), row);
  int refused = 0;
  for (int i = 1; i <= 2500; ++i) {
    row.set<LONG>(0, i);
    row.text(1, i == 1234 ? u"too long" : u"ok");
    HRESULT hr = load->InsertRow(h, row.buffer.data());
    if (FAILED(hr)) {
      ++refused;
      odb_exception e(hr);
      EXPECT_EQ(e.get_code(), 0x80E57);
      EXPECT_NE(e.message().find("truncated"), std::string::npos);
    }
    if (i % 1000 == 0) odb_check(load->Commit(false));
  }
  odb_check(load->Commit(true));
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(srv().row_count("orv", "t"), 2499u);
  auto stored = srv().rows("orv", "t");
  EXPECT_EQ(tds::cell_int(stored.back()[0]), 2500);  // identity values kept
}

TEST_F(odb_load_test, ExistingColumnsTakeConvertedValuesOrRefuseTheRow) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [m] ([v] varchar(10) NULL, [d] datetime NULL, [n] decimal(5,2) NULL, [i] int NULL)");
  auto load = open_load(s.get(), L"[m]");
  load_row row;
  row.bind(DBTYPE_WSTR, 40);
  row.bind(DBTYPE_DBTIMESTAMP, 16);
  row.bind(DBTYPE_R8, 8);
  row.bind(DBTYPE_WSTR, 40);
  HACCESSOR h = accessor(load.get(), row);
  auto insert = [&](std::u16string v, DBTIMESTAMP d, double n, std::u16string i) {
    row.text(0, v);
    row.set(1, d);
    row.set(2, n);
    row.text(3, i);
    HRESULT hr = load->InsertRow(h, row.buffer.data());
    return SUCCEEDED(hr) ? 0 : odb_exception(hr).get_code();
  };
  const DBTIMESTAMP day{2004, 5, 6, 7, 8, 9, 500000000};
  EXPECT_EQ(insert(u"caf\u00E9 \u20AC", day, 12.5, u"42"), 0);
  EXPECT_EQ(insert(u"", day, -1.25, u"-7"), 0);  // '' goes by statement
  EXPECT_EQ(insert(u"\u6F22", day, 1, u"1"), 0x80E07);
  EXPECT_EQ(insert(u"x", DBTIMESTAMP{1600, 1, 1, 0, 0, 0, 0}, 1, u"1"), 0x80E07);
  EXPECT_EQ(insert(u"x", day, 12345.6, u"1"), 0x80E57);
  EXPECT_EQ(insert(u"x", day, 1, u"12x"), 0x80E07);
  EXPECT_EQ(insert(u"x", day, 1, u"3000000000"), 0x80E57);
  odb_check(load->Commit(true));
  auto columns = srv().columns("orv", "m");
  auto stored = srv().rows("orv", "m");
  ASSERT_EQ(stored.size(), 2u);
  std::vector<std::string> texts;
  for (auto& r : stored)
    texts.push_back(tds::cell_utf8(columns[0].type, r[0]) + "|" + tds::cell_text(columns[1].type, r[1]) + "|" +
                    tds::cell_text(columns[2].type, r[2]) + "|" + tds::cell_text(columns[3].type, r[3]));
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts[0], "caf\u00E9 \u20AC|2004-05-06 07:08:09.500|12.50|42");
  EXPECT_EQ(texts[1], "|2004-05-06 07:08:09.500|-1.25|-7");
}

TEST_F(odb_load_test, TextDatesGuidsAndDateBindingsConvert) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [c] ([dt] datetime NULL, [g] uniqueidentifier NULL, [d] date NULL, [t] time(0) NULL)");
  auto load = open_load(s.get(), L"c");
  load_row row;
  row.bind(DBTYPE_WSTR, 80);
  row.bind(DBTYPE_WSTR, 80);
  row.bind(DBTYPE_DBDATE, 6);
  row.bind(DBTYPE_DBTIME, 6);
  HACCESSOR h = accessor(load.get(), row);
  row.text(0, u"2004-05-06T12:34:56.5");
  row.text(1, u"{12345678-9ABC-DEF0-0102-030405060708}");
  row.set(2, DBDATE{1999, 12, 31});
  row.set(3, DBTIME{23, 59, 58});
  odb_check(load->InsertRow(h, row.buffer.data()));
  for (std::u16string bad : {u"2004-02-30", u"06.05.2004", u"2004-05-06 24:00:00"}) {
    row.text(0, bad);
    EXPECT_EQ(odb_exception(load->InsertRow(h, row.buffer.data())).get_code(), 0x80E07);
  }
  row.text(0, u"2004-05-06");
  row.text(1, u"not a guid");
  EXPECT_EQ(odb_exception(load->InsertRow(h, row.buffer.data())).get_code(), 0x80E07);
  odb_check(load->Commit(true));
  auto columns = srv().columns("orv", "c");
  auto stored = srv().rows("orv", "c");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(tds::cell_text(columns[0].type, stored[0][0]), "2004-05-06 12:34:56.500");
  EXPECT_EQ(tds::cell_text(columns[1].type, stored[0][1]), "12345678-9ABC-DEF0-0102-030405060708");
  EXPECT_EQ(tds::cell_text(columns[2].type, stored[0][2]), "1999-12-31");
  EXPECT_EQ(tds::cell_text(columns[3].type, stored[0][3]), "23:59:58");
}

TEST_F(odb_load_test, LoadsOfNoRowsOrOnlyEmptyStringsCommit) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [e] ([s] nvarchar(5) NULL)");
  auto load = open_load(s.get(), L"e");
  odb_check(load->Commit(false));
  odb_check(load->Commit(true));
  load = open_load(s.get(), L"e");
  load_row row;
  row.bind(DBTYPE_WSTR, 12);
  HACCESSOR h = accessor(load.get(), row);
  row.text(0, u"");
  for (int i = 0; i < 3; ++i) odb_check(load->InsertRow(h, row.buffer.data()));
  odb_check(load->Commit(false));
  odb_check(load->InsertRow(h, row.buffer.data()));
  odb_check(load->Commit(true));
  auto stored = srv().rows("orv", "e");
  ASSERT_EQ(stored.size(), 4u);
  for (auto& r : stored) EXPECT_FALSE(r[0].null);
}

TEST_F(odb_load_test, RowsByStatementLoseOnlyTheRefusedOnes) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [k] ([id] int NOT NULL PRIMARY KEY, [s] nvarchar(5) NULL)");
  auto load = open_load(s.get(), L"k");
  load_row row;
  row.bind(DBTYPE_I4, 4);
  row.bind(DBTYPE_WSTR, 12);
  HACCESSOR h = accessor(load.get(), row);
  row.text(1, u"");
  for (int id : {1, 2, 2, 3}) {  // the second 2 is refused by the key
    row.set<LONG>(0, id);
    odb_check(load->InsertRow(h, row.buffer.data()));
  }
  HRESULT hr = load->Commit(true);
  ASSERT_TRUE(FAILED(hr));
  EXPECT_EQ(odb_exception(hr).get_code(), 0x80E2F);
  EXPECT_EQ(srv().row_count("orv", "k"), 3u);
}

TEST_F(odb_load_test, AFailedBatchIsReportedAndLoadingGoesOn) {
  auto t = load_ints();
  srv().set_fail_bulk_batch(1);
  for (int i = 0; i < 10; ++i) odb_check(t.insert(i));
  EXPECT_TRUE(FAILED(t.load->Commit(false)));
  for (int i = 10; i < 15; ++i) odb_check(t.insert(i));
  odb_check(t.load->Commit(true));
  EXPECT_EQ(srv().row_count("orv", "t"), 5u);
}

TEST_F(odb_load_test, ADroppedConnectionIsReported) {
  auto t = load_ints();
  srv().set_drop_after_bulk_rows(3);
  HRESULT hr = S_OK;
  for (int i = 0; i < 5000 && SUCCEEDED(hr); ++i) {
    hr = t.insert(i);
    if (SUCCEEDED(hr) && i % 1000 == 999) hr = t.load->Commit(false);
  }
  if (SUCCEEDED(hr)) hr = t.load->Commit(true);
  EXPECT_TRUE(FAILED(hr));
}

TEST_F(odb_load_test, SchemaRowsetsListTablesKeysIndexesAndForeignKeys) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [Sheet_1] ([id] int NOT NULL, [name] nvarchar(10) NULL)");
  command.execute(L"CREATE TABLE [SheetX1] ([id] int NOT NULL, [ref] int NULL)");
  command.execute(L"ALTER TABLE [Sheet_1] ADD CONSTRAINT [PK_Sheet_1] PRIMARY KEY CLUSTERED ([id])");
  command.execute(L"ALTER TABLE [SheetX1] ADD CONSTRAINT [PK_SheetX1] PRIMARY KEY CLUSTERED ([id])");
  command.execute(L"CREATE INDEX [ix_name] ON [Sheet_1] ([name])");
  command.execute(L"ALTER TABLE [SheetX1] ADD CONSTRAINT [FK_x] FOREIGN KEY ([ref]) REFERENCES [Sheet_1]([id])");

  odb_tl_meta_data tables(L"dbo", s.get());
  std::vector<std::wstring> names;
  for (tables.reset(); !tables.is_eof(); tables.next()) names.push_back((*tables.get_item())[2].to_wstring());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"SheetX1", L"Sheet_1"}));

  odb_pk_meta_data keys(L"Sheet_1", L"dbo", s.get());
  keys.reset();
  ASSERT_FALSE(keys.is_eof());
  EXPECT_EQ((*keys.get_item())[3].to_wstring(), L"id");
  EXPECT_EQ((*keys.get_item())[5].to_wstring(), L"PK_Sheet_1");
  keys.next();
  EXPECT_TRUE(keys.is_eof());

  odb_id_meta_data indexes(L"Sheet_1", L"dbo", s.get());
  std::vector<std::wstring> index_names;
  for (indexes.reset(); !indexes.is_eof(); indexes.next()) {
    odb_record& rec = *indexes.get_item();
    index_names.push_back(rec[5].to_wstring() + L":" + rec[6].to_wstring() + rec[7].to_wstring() + L":" +
                          rec[11].to_wstring());
  }
  std::sort(index_names.begin(), index_names.end());
  EXPECT_EQ(index_names, (std::vector<std::wstring>{L"PK_Sheet_1:11:id", L"ix_name:00:name"}));

  odb_fk_meta_data foreign(L"Sheet_1", L"dbo", s.get());
  foreign.reset();
  ASSERT_FALSE(foreign.is_eof());
  odb_record& fk = *foreign.get_item();
  EXPECT_EQ(fk[2].to_wstring(), L"Sheet_1");
  EXPECT_EQ(fk[3].to_wstring(), L"id");
  EXPECT_EQ(fk[6].to_wstring(), L"SheetX1");
  EXPECT_EQ(fk[7].to_wstring(), L"ref");
  EXPECT_EQ(fk[12].to_wstring(), L"FK_x");
}

TEST_F(odb_load_test, RowsetsAreReadInBlocksOfFive) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [n] ([v] int NULL, [g] uniqueidentifier NULL)");
  for (int i = 0; i < 12; ++i) command.execute(L"INSERT INTO [n] ([v]) VALUES (" + std::to_wstring(i) + L")");
  IRowset* rowset = nullptr;
  command.execute(L"SELECT * FROM [n]", &rowset);
  odb_recordset r(rowset);
  rowset->Release();
  EXPECT_EQ(r.get_schema()[1].vartype, VT_BLOB);
  EXPECT_EQ(r.get_schema()[1].size, 38);
  int count = 0;
  for (r.reset(); !r.is_eof(); r.next()) {
    EXPECT_EQ((*r.get_item())[0].to_wstring(), std::to_wstring(count));
    EXPECT_EQ((*r.get_item())[1].get_vt(), VT_EMPTY);  // NULL: an empty field
    ++count;
  }
  EXPECT_EQ(count, 12);
  EXPECT_EQ(r.get_row_number(), 12);
  r.reset();
  EXPECT_EQ((*r.get_item())[0].to_wstring(), L"0");
}

}  // namespace

namespace {

// The same road against a real SQL Server, when the environment names one.
TEST(OdbRealServer, DefinesLoadsAndReadsBack) {
  const char* host = std::getenv("ORV_MSS_TEST_HOST");
  const char* port = std::getenv("ORV_MSS_TEST_PORT");
  const char* user = std::getenv("ORV_MSS_TEST_USER");
  const char* password = std::getenv("ORV_MSS_TEST_PASSWORD");
  if (!host || !port || !user || !password)
    GTEST_SKIP() << "skipped: no real SQL Server (set ORV_MSS_TEST_HOST, _PORT, _USER and _PASSWORD to name one)";
  register_sqloledb();
  auto wide = [](const char* t) { return std::wstring(t, t + std::strlen(t)); };
  const std::wstring base = L"Provider=sqloledb;Data Source=" + wide(host) + L"," + wide(port) + L";User ID=" +
                            connection_string_value(wide(user)) + L";Password=" + connection_string_value(wide(password));
  const std::wstring database = L"orv_oledb_" + std::to_wstring(::getpid());
  {
    odb_command master(open_data_source(base).get());
    master.execute(L"CREATE DATABASE " + tsql_name(database));
  }
  {
    auto ds = open_data_source(base + L";Initial Catalog=" + database);
    auto s = open_session(ds);
    table_def def;
    def.add(L"id", DBTYPE_I4, 4, 0, 0, true, false);
    def.add(L"s", DBTYPE_WSTR, 10);
    def.add(L"n", DBTYPE_NUMERIC, 19, 28, 4);
    def.create(s.get(), L"[dbo].[t]]x]");
    auto load = open_load(s.get(), L"[dbo].[t]]x]");
    load_row row;
    row.bind(DBTYPE_I4, 4);
    row.bind(DBTYPE_WSTR, 40);
    row.bind(DBTYPE_NUMERIC, 19);
    HACCESSOR h = accessor(load.get(), row);
    DB_NUMERIC n{};
    numeric_from_text("-123456789012345678901234.5678", 28, 4, &n);
    const std::u16string texts[3] = {u"\U0001F600 ok", u"", u"x"};
    for (int i = 0; i < 3; ++i) {
      row.set<LONG>(0, 10 + i);
      row.text(1, texts[i]);
      row.set(2, n);
      if (i == 2) row.null(2);
      odb_check(load->InsertRow(h, row.buffer.data()));
    }
    row.text(1, u"much too long");
    EXPECT_TRUE(FAILED(load->InsertRow(h, row.buffer.data())));
    odb_check(load->Commit(true));
    load = nullptr;
    auto rows = read(s.get(), L"[dbo].[t]]x]");
    std::sort(rows.begin(), rows.end());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::wstring>{L"10", L"\U0001F600 ok", L"-123456789012345678901234.5678"}));
    EXPECT_EQ(rows[1], (std::vector<std::wstring>{L"11", L"", L"-123456789012345678901234.5678"}));
    EXPECT_EQ(rows[2], (std::vector<std::wstring>{L"12", L"x", L"<null>"}));
  }
  odb_command master(open_data_source(base).get());
  master.execute(L"DROP DATABASE " + tsql_name(database));
}

}  // namespace
