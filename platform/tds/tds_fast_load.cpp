#include "platform/tds/tds_fast_load.h"

#include "platform/tds/tds_sybdb.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/oleaut/date.h"
#include "platform/oledb/data_convert.h"
#include "platform/oledb/error_info.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_error.h"
#include "platform/tds/tds_objects.h"
#include "platform/tds/tds_rowset.h"
#include "platform/tds/tds_schema.h"

namespace {

constexpr int server_datetime = 61, server_datetimen = 111, server_smalldatetime = 58;
// A day of datetime ticks (1/300 s); the days since 1900-01-01 of 9999-12-31
// and 2079-06-06, the last days of datetime and smalldatetime.
constexpr DBINT ticks_per_day = 300 * 86400, last_datetime_day = 2958463, last_smalldatetime_day = 65535;

// A row's failure as the server would report it.
HRESULT row_error(int number, const char* text) {
  tds_clear_messages();
  tds_message m;
  m.number = number;
  m.severity = 16;
  m.state = 1;
  m.text = text;
  tds_add_message(m);
  return tds_fail();
}

// One column of the bulk load: where its value for the current row is built.
struct slot {
  tds_column column;
  int host_type = SYBCHAR;
  std::vector<BYTE> value;
  bool null = true;
  std::wstring literal;  // the value as a statement writes it, where its bytes do not tell
  bool by_statement = false;  // the value cannot go by bulk load
};

class fast_load : public com_unknown<IRowsetFastLoad, IColumnsInfo, IAccessor> {
 public:
  fast_load(const tds_login& login, tsql_object_name table, std::vector<tds_column> columns, unsigned bulk_code_page)
      : login_(login), table_(std::move(table)), bulk_code_page_(bulk_code_page) {
    for (auto& c : columns) {
      slot s;
      s.column = c;
      identity_ = identity_ || c.identity;
      switch (c.type) {
        case DBTYPE_UI1: s.host_type = SYBINT1; break;
        case DBTYPE_I2: s.host_type = SYBINT2; break;
        case DBTYPE_I4: s.host_type = SYBINT4; break;
        case DBTYPE_I8: s.host_type = SYBINT8; break;
        case DBTYPE_R4: s.host_type = SYBREAL; break;
        case DBTYPE_R8: s.host_type = SYBFLT8; break;
        case DBTYPE_BOOL: s.host_type = SYBBIT; break;
        case DBTYPE_CY: s.host_type = SYBMONEY; break;
        case DBTYPE_NUMERIC: s.host_type = SYBNUMERIC; break;
        case DBTYPE_GUID: s.host_type = SYBUNIQUE; break;
        case DBTYPE_BYTES: s.host_type = SYBBINARY; break;
        case DBTYPE_DBTIMESTAMP:
          s.host_type = c.server_type == server_datetime || c.server_type == server_datetimen ||
                                c.server_type == server_smalldatetime
                            ? SYBDATETIME
                            : SYBMSDATETIME2;
          break;
        case DBTYPE_DBDATE: s.host_type = SYBMSDATE; break;
        case DBTYPE_DBTIME: s.host_type = SYBMSTIME; break;
        default: s.host_type = SYBCHAR; break;
      }
      slots_.push_back(std::move(s));
    }
  }

  // Opens the bulk connection and starts the copy.
  HRESULT open() {
    tds_clear_messages();
    link_ = std::make_unique<tds_link>(login_);
    if (!link_->is_open()) return tds_fail(E_FAIL);
    if (identity_ && !link_->run(tsql_identity_insert(table_, true))) return tds_fail();
    return start();
  }

  HRESULT InsertRow(HACCESSOR accessor, void* data) override {
    auto* bindings = accessors_.find(accessor);
    if (!bindings) return DB_E_BADACCESSORHANDLE;
    if (!link_ || !link_->is_open()) return row_error(SYBEWRIT, "The bulk connection is closed.");
    bool deferred = false;
    for (auto& s : slots_) s.null = true;
    for (const DBBINDING& b : *bindings) {
      if (b.iOrdinal < 1 || b.iOrdinal > slots_.size()) return DB_E_BADORDINAL;
      slot& s = slots_[b.iOrdinal - 1];
      tds_cell cell;
      DBTYPE type;
      HRESULT hr = read_binding(b, static_cast<BYTE*>(data), s.column, cell, type);
      if (FAILED(hr)) return hr;
      if (cell.null) continue;
      hr = convert(cell, type, s);
      if (FAILED(hr)) return hr;
      // db-lib sends a length of 0 as NULL: an empty value goes by statement.
      if (!s.null && (s.value.empty() || s.by_statement)) deferred = true;
    }
    if (deferred) {
      pending_.push_back(row_literals());
      return S_OK;
    }
    std::vector<const BYTE*> values;
    std::vector<int> lengths;
    static const BYTE none = 0;
    for (auto& s : slots_) {
      values.push_back(s.null ? &none : s.value.data());
      lengths.push_back(s.null ? 0 : static_cast<int>(s.value.size()));
    }
    tds_clear_messages();
    if (!link_->bcp_row(values, lengths)) return fail_and_reopen();
    ++sent_;
    return S_OK;
  }

  HRESULT Commit(bool done) override {
    if (!link_ || !link_->is_open()) return row_error(SYBEWRIT, "The bulk connection is closed.");
    tds_clear_messages();
    // A bulk copy that has sent no row has nothing to commit: db-lib would
    // send an empty bulk message, so it is left alone (or simply closed).
    const bool idle = sent_ == 0;
    if ((!pending_.empty() || done) && !idle) {
      if (!link_->bcp_done()) return fail_and_reopen();
      sent_ = 0;
    } else if (pending_.empty() && !done) {
      if (!idle && !link_->bcp_batch()) return fail_and_reopen();
      sent_ = 0;
      return S_OK;
    }
    HRESULT hr = insert_pending();
    if (FAILED(hr)) {
      IErrorInfo* info = nullptr;
      GetErrorInfo(0, &info);
      if (!done && !idle) start();
      SetErrorInfo(0, info);
      if (info) info->Release();
      return hr;
    }
    if (done) {
      if (identity_) link_->run(tsql_identity_insert(table_, false));
      link_.reset();
      return S_OK;
    }
    return idle ? S_OK : start();
  }

  HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) override {
    std::vector<tds_column> columns;
    for (auto& s : slots_) columns.push_back(s.column);
    return tds_column_info(columns, count, info, names);
  }
  HRESULT MapColumnIDs(DBORDINAL, const DBID*, DBORDINAL*) override { return E_NOTIMPL; }
  HRESULT AddRefAccessor(HACCESSOR a, DBREFCOUNT* c) override { return accessors_.add_ref(a, c); }
  HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING* bindings, DBLENGTH,
                         HACCESSOR* accessor, DBBINDSTATUS* status) override {
    return accessors_.create(flags, count, bindings, static_cast<DBCOUNTITEM>(slots_.size()), accessor, status);
  }
  HRESULT GetBindings(HACCESSOR a, DBACCESSORFLAGS* f, DBCOUNTITEM* c, DBBINDING** b) override {
    return accessors_.get(a, f, c, b);
  }
  HRESULT ReleaseAccessor(HACCESSOR a, DBREFCOUNT* c) override { return accessors_.release(a, c); }

 protected:
  ~fast_load() override = default;
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_IRowsetFastLoad) return static_cast<IRowsetFastLoad*>(this);
    if (iid == IID_IColumnsInfo) return static_cast<IColumnsInfo*>(this);
    if (iid == IID_IAccessor) return static_cast<IAccessor*>(this);
    return nullptr;
  }

 private:
  HRESULT start() {
    if (!link_->bcp_init(tsql_object(table_))) return tds_fail(E_FAIL);
    if (identity_ && !link_->bcp_keep_identity()) return tds_fail(E_FAIL);
    // A row that goes by statement stores its NULLs as NULL: so does a bulk row.
    if (!link_->bcp_keep_nulls()) return tds_fail(E_FAIL);
    for (std::size_t i = 0; i < slots_.size(); ++i)
      if (!link_->bcp_bind(static_cast<int>(i + 1), slots_[i].host_type, -1)) return tds_fail(E_FAIL);
    return S_OK;
  }

  // A failed batch loses the open rows: the error is reported and the bulk
  // connection opened again, so the rows that follow can still go.
  HRESULT fail_and_reopen() {
    HRESULT hr = tds_fail(E_FAIL);
    IErrorInfo* info = nullptr;
    GetErrorInfo(0, &info);
    pending_.clear();
    link_.reset();
    sent_ = 0;
    open();
    SetErrorInfo(0, info);
    if (info) info->Release();
    return hr;
  }

  // The bound value as a cell of the binding's type (streams are read whole).
  HRESULT read_binding(const DBBINDING& b, BYTE* row, const tds_column& column, tds_cell& cell, DBTYPE& type) {
    DBSTATUS status = DBSTATUS_S_OK;
    if (b.dwPart & DBPART_STATUS) std::memcpy(&status, row + b.obStatus, sizeof status);
    cell.null = true;
    type = b.wType;
    if (status == DBSTATUS_S_ISNULL || status == DBSTATUS_S_DEFAULT || !(b.dwPart & DBPART_VALUE)) return S_OK;
    if (status != DBSTATUS_S_OK) return row_error(245, "Conversion failed: the bound value has a bad status.");
    DBLENGTH length = 0;
    const bool has_length = b.dwPart & DBPART_LENGTH;
    if (has_length) std::memcpy(&length, row + b.obLength, sizeof length);
    const BYTE* value = row + b.obValue;
    cell.null = false;
    switch (b.wType) {
      case DBTYPE_WSTR: {
        if (!has_length) length = static_cast<DBLENGTH>(std::char_traits<char16_t>::length(
                                      reinterpret_cast<const char16_t*>(value)) * 2);
        cell.bytes.assign(value, value + (length & ~DBLENGTH{1}));
        break;
      }
      case DBTYPE_STR: {
        if (!has_length) length = static_cast<DBLENGTH>(std::strlen(reinterpret_cast<const char*>(value)));
        std::u16string t = utf8_to_utf16(std::string_view(reinterpret_cast<const char*>(value), length));
        cell.bytes.assign(reinterpret_cast<const BYTE*>(t.data()), reinterpret_cast<const BYTE*>(t.data()) + t.size() * 2);
        type = DBTYPE_WSTR;
        break;
      }
      case DBTYPE_BYTES: cell.bytes.assign(value, value + length); break;
      case DBTYPE_IUNKNOWN: {
        IUnknown* object = nullptr;
        std::memcpy(&object, value, sizeof object);
        ISequentialStream* stream = nullptr;
        if (!object || FAILED(object->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(&stream))))
          return row_error(245, "Conversion failed: the bound stream cannot be read.");
        // Read to its end; a stream that fails on the way fails the row
        // rather than send what it gave so far.
        BYTE buffer[65536];
        HRESULT read = S_OK;
        for (;;) {
          ULONG got = 0;
          read = stream->Read(buffer, sizeof buffer, &got);
          if (FAILED(read) || got == 0) break;
          cell.bytes.insert(cell.bytes.end(), buffer, buffer + got);
        }
        stream->Release();
        if (FAILED(read)) return row_error(245, "Conversion failed: the bound stream cannot be read to its end.");
        type = column.type == DBTYPE_WSTR ? DBTYPE_WSTR : DBTYPE_BYTES;
        break;
      }
      case DBTYPE_I1: case DBTYPE_UI1: cell.bytes.assign(value, value + 1); break;
      case DBTYPE_I2: case DBTYPE_UI2: case DBTYPE_BOOL: cell.bytes.assign(value, value + 2); break;
      case DBTYPE_I4: case DBTYPE_UI4: case DBTYPE_R4: cell.bytes.assign(value, value + 4); break;
      case DBTYPE_I8: case DBTYPE_UI8: case DBTYPE_R8: case DBTYPE_CY: case DBTYPE_DATE:
        cell.bytes.assign(value, value + 8);
        break;
      case DBTYPE_NUMERIC: cell.bytes.assign(value, value + sizeof(DB_NUMERIC)); break;
      case DBTYPE_DECIMAL: {
        DECIMAL d;
        std::memcpy(&d, value, sizeof d);
        DB_NUMERIC n;
        if (FAILED(numeric_from_decimal(d, 38, d.scale, &n)))
          return row_error(8115, "Arithmetic overflow error converting numeric to data type numeric.");
        cell.bytes.assign(reinterpret_cast<BYTE*>(&n), reinterpret_cast<BYTE*>(&n) + sizeof n);
        type = DBTYPE_NUMERIC;
        break;
      }
      case DBTYPE_DBTIMESTAMP: cell.bytes.assign(value, value + sizeof(DBTIMESTAMP)); break;
      case DBTYPE_DBDATE: case DBTYPE_DBTIME: {
        // As a timestamp: a date at midnight, a time on 1900-01-01.
        DBTIMESTAMP ts{1900, 1, 1, 0, 0, 0, 0};
        if (b.wType == DBTYPE_DBDATE) {
          DBDATE d;
          std::memcpy(&d, value, sizeof d);
          ts.year = d.year, ts.month = d.month, ts.day = d.day;
        } else {
          DBTIME t;
          std::memcpy(&t, value, sizeof t);
          ts.hour = t.hour, ts.minute = t.minute, ts.second = t.second;
        }
        cell.bytes.assign(reinterpret_cast<BYTE*>(&ts), reinterpret_cast<BYTE*>(&ts) + sizeof ts);
        type = DBTYPE_DBTIMESTAMP;
        break;
      }
      case DBTYPE_GUID: cell.bytes.assign(value, value + 16); break;
      default: return row_error(245, "Conversion failed: the bound type is not supported.");
    }
    return S_OK;
  }

  // The value's text as the server reads it.
  static std::string text_of(const tds_cell& cell, DBTYPE type) {
    tds_column c;
    c.type = type;
    if (type == DBTYPE_I1) {
      return std::to_string(static_cast<signed char>(cell.bytes[0]));
    }
    if (type == DBTYPE_UI2) {
      USHORT v;
      std::memcpy(&v, cell.bytes.data(), 2);
      return std::to_string(v);
    }
    if (type == DBTYPE_UI4) {
      ULONG v;
      std::memcpy(&v, cell.bytes.data(), 4);
      return std::to_string(v);
    }
    if (type == DBTYPE_UI8) {
      ULONGLONG v;
      std::memcpy(&v, cell.bytes.data(), 8);
      return std::to_string(v);
    }
    if (type == DBTYPE_BOOL) {
      VARIANT_BOOL v;
      std::memcpy(&v, cell.bytes.data(), 2);
      return v ? "1" : "0";
    }
    return utf16_to_utf8(tds_cell_text(c, cell));
  }

  static std::u16string text16(const tds_cell& cell) {
    return std::u16string(reinterpret_cast<const char16_t*>(cell.bytes.data()), cell.bytes.size() / 2);
  }

  // The column's type as the server names it in its messages.
  static std::string server_type_name(const slot& s) {
    switch (s.host_type) {
      case SYBINT1: return "tinyint";
      case SYBINT2: return "smallint";
      case SYBINT4: return "int";
      case SYBINT8: return "bigint";
      case SYBREAL: return "real";
      case SYBFLT8: return "float";
      case SYBBIT: return "bit";
      case SYBMONEY: return "money";
      case SYBNUMERIC: return "numeric";
      case SYBUNIQUE: return "uniqueidentifier";
      case SYBDATETIME: return "datetime";
      case SYBMSDATE: return "date";
      case SYBMSTIME: return "time";
      case SYBMSDATETIME2: return "datetime2";
      case SYBBINARY: return "varbinary";
      default: return s.column.unicode ? "nvarchar" : "varchar";
    }
  }

  // Converts the bound value into the column's bulk form.
  HRESULT convert(const tds_cell& cell, DBTYPE type, slot& s) {
    const tds_column& c = s.column;
    s.null = false;
    s.value.clear();
    s.literal.clear();
    s.by_statement = false;
    auto put = [&](const void* v, std::size_t n) {
      s.value.assign(static_cast<const BYTE*>(v), static_cast<const BYTE*>(v) + n);
    };
    // The server's own texts for the value and the column's type.
    const std::string type_name = server_type_name(s);
    auto overflow = [&] {
      const std::string m = "Arithmetic overflow error converting expression to data type " + type_name + ".";
      return row_error(8115, m.c_str());
    };
    auto bad = [&] {
      std::string m = "Conversion failed when converting the value to data type " + type_name + ".";
      if (type == DBTYPE_WSTR && cell.bytes.size() <= 200)
        m = "Conversion failed when converting the nvarchar value '" + utf16_to_utf8(text16(cell)) + "' to data type " +
            type_name + ".";
      return row_error(245, m.c_str());
    };
    switch (c.type) {
      case DBTYPE_WSTR: {
        std::u16string text;
        if (type == DBTYPE_WSTR)
          text.assign(reinterpret_cast<const char16_t*>(cell.bytes.data()), cell.bytes.size() / 2);
        else if (type == DBTYPE_DATE)
          return bad();
        else
          text = utf8_to_utf16(text_of(cell, type));
        if (c.unicode) {
          if (!c.is_long && text.size() > c.size) return row_error(8152, "String or binary data would be truncated.");
          put(text.data(), text.size() * 2);
          return S_OK;
        }
        // The column's code page must hold the text: the server would store a
        // near character or '?' for one it lacks. Its size counts those bytes.
        std::string narrow;
        std::u16string unheld;
        if (!tds_narrow(text, c.code_page, narrow, &unheld)) {
          const std::string reason = wide_to_utf8(tds_unheld_text(utf16_to_wide(text), c.name, c.code_page, unheld));
          return row_error(245, reason.c_str());
        }
        if (!c.is_long && narrow.size() > c.size) return row_error(8152, "String or binary data would be truncated.");
        // db-lib sends character data as it is, and the server reads a bulk
        // row's in the code page of the connection's database: text that has
        // no bytes there goes by statement, which the server converts.
        if (c.code_page != bulk_code_page_ && !tds_narrow(text, bulk_code_page_, narrow)) {
          s.literal = tsql_string(utf16_to_wide(text));
          s.by_statement = true;
        }
        put(narrow.data(), narrow.size());
        return S_OK;
      }
      case DBTYPE_BYTES:
        if (type != DBTYPE_BYTES && type != DBTYPE_GUID) return bad();
        if (!c.is_long && cell.bytes.size() > c.size) return row_error(8152, "String or binary data would be truncated.");
        put(cell.bytes.data(), cell.bytes.size());
        return S_OK;
      case DBTYPE_GUID: {
        if (type == DBTYPE_GUID) {
          put(cell.bytes.data(), 16);
          return S_OK;
        }
        GUID g;
        if (type != DBTYPE_WSTR || !tds_guid_from_text(text16(cell), g)) return bad();
        put(&g, sizeof g);
        return S_OK;
      }
      case DBTYPE_DBTIMESTAMP: case DBTYPE_DBDATE: case DBTYPE_DBTIME: {
        DBTIMESTAMP ts{};
        if (type == DBTYPE_DBTIMESTAMP) {
          std::memcpy(&ts, cell.bytes.data(), sizeof ts);
        } else if (type == DBTYPE_DATE) {
          DATE d;
          std::memcpy(&d, cell.bytes.data(), 8);
          SYSTEMTIME st;
          if (!VariantTimeToSystemTime(d, &st)) return bad();
          ts = DBTIMESTAMP{static_cast<SHORT>(st.wYear), st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, 0};
        } else if (type != DBTYPE_WSTR || !tds_timestamp_from_text(text16(cell), ts)) {
          return bad();
        }
        if (s.host_type == SYBDATETIME) {
          const bool small = c.server_type == server_smalldatetime;
          auto out_of_range = [&] {
            return row_error(242, small ? "The conversion of a date outside 1900-01-01 to 2079-06-06 to a "
                                          "smalldatetime data type resulted in an out-of-range value."
                                        : "The conversion of a date outside 1753-01-01 to 9999-12-31 to a datetime "
                                          "data type resulted in an out-of-range value.");
          };
          if (ts.year < 1753 || ts.year > 9999) return out_of_range();
          // Days since 1900-01-01 and 1/300 seconds.
          SYSTEMTIME day{static_cast<WORD>(ts.year), ts.month, 0, ts.day, 0, 0, 0, 0};
          DATE d;
          if (!SystemTimeToVariantTime(&day, &d)) return bad();
          DBDATETIME v;
          v.dtdays = static_cast<DBINT>(std::lround(d)) - 2;
          const long long seconds = ts.hour * 3600LL + ts.minute * 60LL + ts.second;
          if (small) {
            // To the minute as the server rounds: up from 29.999 seconds (db-lib
            // would cut the seconds off).
            const long long milliseconds = ts.second * 1000LL + ts.fraction / 1000000;
            v.dttime = static_cast<DBINT>((ts.hour * 60LL + ts.minute + (milliseconds >= 29999 ? 1 : 0)) * 60 * 300);
          } else {
            // The nearest 1/300 second, half up, as the server rounds.
            v.dttime = static_cast<DBINT>(((seconds * 1000000000LL + ts.fraction) * 3 + 5000000) / 10000000);
          }
          // A time rounded up to midnight is the next day's.
          if (v.dttime >= ticks_per_day) {
            v.dttime -= ticks_per_day;
            ++v.dtdays;
          }
          if (v.dtdays > (small ? last_smalldatetime_day : last_datetime_day) || (small && v.dtdays < 0))
            return out_of_range();
          put(&v, sizeof v);
        } else {
          // date, time, datetime2: days since 1900-01-01 and 100 ns units of the day.
          DBDATETIMEALL v{};
          const bool has_date = s.host_type != SYBMSTIME, has_time = s.host_type != SYBMSDATE;
          if (has_date) {
            if (ts.year < 1 || ts.year > 9999) return row_error(242, "The date is out of range (0001 to 9999).");
            SYSTEMTIME day{static_cast<WORD>(ts.year), ts.month, 0, ts.day, 0, 0, 0, 0};
            DATE d;
            if (ts.year >= 100 ? !SystemTimeToVariantTime(&day, &d) : true) {
              // Years before 100: count the days of the proleptic Gregorian calendar.
              long long y = ts.year - (ts.month <= 2), era = (y >= 0 ? y : y - 399) / 400;
              long long yoe = y - era * 400, mp = (ts.month + 9) % 12;
              long long doy = (153 * mp + 2) / 5 + ts.day - 1, doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
              d = static_cast<double>(era * 146097 + doe - 719468 + 25569);  // to days since 1899-12-30
            }
            v.date = static_cast<DBINT>(std::lround(d)) - 2;
            v.has_date = 1;
          }
          if (has_time) {
            v.time = (ts.hour * 3600ULL + ts.minute * 60ULL + ts.second) * 10000000ULL + ts.fraction / 100;
            v.has_time = 1;
          }
          v.time_prec = 7;
          put(&v, sizeof v);
          wchar_t text[80];
          if (!has_time)
            std::swprintf(text, 80, L"N'%04d-%02u-%02u'", ts.year, ts.month, ts.day);
          else if (!has_date)
            std::swprintf(text, 80, L"N'%02u:%02u:%02u.%07u'", ts.hour, ts.minute, ts.second, ts.fraction / 100);
          else
            std::swprintf(text, 80, L"N'%04d-%02u-%02uT%02u:%02u:%02u.%07u'", ts.year, ts.month, ts.day, ts.hour,
                          ts.minute, ts.second, ts.fraction / 100);
          s.literal = text;
        }
        return S_OK;
      }
      default: break;
    }
    // Numbers: from the value's text, exactly.
    if (type == DBTYPE_WSTR || type == DBTYPE_BYTES || type == DBTYPE_GUID || type == DBTYPE_DBTIMESTAMP ||
        type == DBTYPE_DATE)
      if (type != DBTYPE_WSTR) return bad();
    std::string text = text_of(cell, type);
    if (type == DBTYPE_R8 || type == DBTYPE_R4) {
      double d = type == DBTYPE_R8 ? 0 : 0;
      if (type == DBTYPE_R8) std::memcpy(&d, cell.bytes.data(), 8);
      else {
        float f;
        std::memcpy(&f, cell.bytes.data(), 4);
        d = f;
      }
      if (!std::isfinite(d)) return row_error(8115, "Arithmetic overflow: the value is not a finite number.");
    }
    switch (c.type) {
      case DBTYPE_R8: case DBTYPE_R4: {
        char* end = nullptr;
        double d = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end) return bad();
        if (c.type == DBTYPE_R8) put(&d, 8);
        else {
          float f = static_cast<float>(d);
          put(&f, 4);
        }
        return S_OK;
      }
      case DBTYPE_NUMERIC: {
        DB_NUMERIC n;
        HRESULT hr = tds_number_from_text(text, c.type, c.precision, c.scale, n);
        if (hr == DB_E_DATAOVERFLOW) return overflow();
        if (FAILED(hr)) return bad();
        BYTE db[40];
        tds_numeric_to_db(n, db);
        put(db, sizeof(DBNUMERIC));
        return S_OK;
      }
      case DBTYPE_CY: {
        DB_NUMERIC n;
        HRESULT hr = tds_number_from_text(text, c.type, 19, 4, n);
        if (hr == DB_E_DATAOVERFLOW) return overflow();
        if (FAILED(hr)) return bad();
        unsigned __int128 m = 0;
        for (int i = 15; i >= 0; --i) m = (m << 8) | n.val[i];
        if (m > static_cast<unsigned __int128>(INT64_MAX)) return overflow();
        long long v = static_cast<long long>(m) * (n.sign ? 1 : -1);
        DBMONEY money{static_cast<DBINT>(v >> 32), static_cast<DBUINT>(v & 0xFFFFFFFF)};
        put(&money, sizeof money);
        return S_OK;
      }
      default: {
        // A number's own text is read whole (the client cut its fraction
        // for an integer column); a text as a number text is read.
        DB_NUMERIC n;
        HRESULT hr =
            type == DBTYPE_WSTR ? tds_number_from_text(text, c.type, 38, 0, n) : numeric_from_text(text, 38, 0, &n);
        if (hr == DB_E_DATAOVERFLOW) return overflow();
        if (FAILED(hr)) return bad();
        unsigned __int128 m = 0;
        for (int i = 15; i >= 0; --i) m = (m << 8) | n.val[i];
        if (m > static_cast<unsigned __int128>(INT64_MAX)) return overflow();
        long long v = static_cast<long long>(m) * (n.sign ? 1 : -1);
        switch (c.type) {
          case DBTYPE_BOOL: {
            BYTE b = v != 0;
            put(&b, 1);
            return S_OK;
          }
          case DBTYPE_UI1: {
            if (v < 0 || v > 255) return overflow();
            BYTE b = static_cast<BYTE>(v);
            put(&b, 1);
            return S_OK;
          }
          case DBTYPE_I2: {
            if (v < INT16_MIN || v > INT16_MAX) return overflow();
            SHORT x = static_cast<SHORT>(v);
            put(&x, 2);
            return S_OK;
          }
          case DBTYPE_I4: {
            if (v < INT32_MIN || v > INT32_MAX) return overflow();
            LONG x = static_cast<LONG>(v);
            put(&x, 4);
            return S_OK;
          }
          case DBTYPE_I8: put(&v, 8); return S_OK;
          default: return bad();
        }
      }
    }
  }

  // The rows waiting for a statement, up to 100 in one INSERT; when one is
  // refused its rows go one by one, so that only refused rows are lost. The
  // first refusal is reported.
  HRESULT insert_pending() {
    std::vector<std::wstring> names;
    for (const auto& s : slots_) names.push_back(s.column.name);
    HRESULT first = S_OK;
    IErrorInfo* first_info = nullptr;
    auto note = [&](HRESULT hr) {
      if (SUCCEEDED(first)) {
        first = hr;
        GetErrorInfo(0, &first_info);
      }
    };
    for (std::size_t at = 0; at < pending_.size(); at += 100) {
      const std::size_t end = std::min(pending_.size(), at + 100);
      std::vector<std::vector<std::wstring>> rows(pending_.begin() + at, pending_.begin() + end);
      tds_clear_messages();
      if (link_->run(tsql_insert_rows(table_, names, rows))) continue;
      if (link_->is_dead()) {
        note(tds_fail(E_FAIL));
        break;
      }
      tds_clear_messages();
      for (const auto& row : rows) {
        tds_clear_messages();
        if (!link_->run(tsql_insert(table_, names, row))) note(tds_fail());
      }
    }
    pending_.clear();
    tds_clear_messages();
    if (FAILED(first)) SetErrorInfo(0, first_info);
    if (first_info) first_info->Release();
    return first;
  }

  // The current row's values as literals.
  std::vector<std::wstring> row_literals() const {
    std::vector<std::wstring> literals;
    for (const auto& s : slots_) {
      if (s.null) {
        literals.push_back(L"NULL");
        continue;
      }
      if (!s.literal.empty()) {
        literals.push_back(s.literal);
        continue;
      }
      switch (s.host_type) {
        case SYBCHAR: {
          std::string_view bytes(reinterpret_cast<const char*>(s.value.data()), s.value.size());
          std::wstring text;
          if (s.column.type != DBTYPE_WSTR)
            text = utf8_to_wide(bytes);  // dates and times as text
          else if (s.column.unicode)
            text = utf16_to_wide(std::u16string_view(reinterpret_cast<const char16_t*>(s.value.data()), s.value.size() / 2));
          else
            text = utf16_to_wide(tds_widen(bytes, bulk_code_page_));
          literals.push_back(tsql_string(text));
          break;
        }
        case SYBBINARY: {
          std::wstring hex = L"0x";
          static const wchar_t digits[] = L"0123456789ABCDEF";
          for (BYTE b : s.value) {
            hex += digits[b >> 4];
            hex += digits[b & 15];
          }
          literals.push_back(hex);
          break;
        }
        default: {
          tds_cell cell{false, s.value};
          tds_column c = s.column;
          if (s.host_type == SYBNUMERIC) {
            DB_NUMERIC n;
            tds_numeric_from_db(s.value.data(), &n);
            literals.push_back(utf8_to_wide(numeric_to_text(n)));
          } else if (s.host_type == SYBMONEY) {
            DBMONEY m;
            std::memcpy(&m, s.value.data(), sizeof m);
            long long v = (static_cast<long long>(m.mnyhigh) << 32) | m.mnylow;
            DB_NUMERIC n;
            numeric_from_text(std::to_string(v), 38, 0, &n);
            n.scale = 4;
            literals.push_back(utf8_to_wide(numeric_to_text(n)));
          } else if (s.host_type == SYBDATETIME) {
            DBDATETIME d;
            std::memcpy(&d, s.value.data(), sizeof d);
            SYSTEMTIME st;
            VariantTimeToSystemTime(d.dtdays + 2, &st);
            long long ms = std::llround(d.dttime / 0.3);
            wchar_t text[64];
            std::swprintf(text, 64, L"CONVERT(datetime, '%04d-%02d-%02dT%02lld:%02lld:%02lld.%03lld', 126)", st.wYear,
                          st.wMonth, st.wDay, ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
            literals.push_back(text);
          } else if (s.host_type == SYBBIT) {
            literals.push_back(s.value[0] ? L"1" : L"0");
          } else if (s.host_type == SYBUNIQUE) {
            GUID g;
            std::memcpy(&g, s.value.data(), 16);
            std::string t = guid_to_string(g);
            literals.push_back(L"'" + utf8_to_wide(t.substr(1, 36)) + L"'");
          } else {
            literals.push_back(utf16_to_wide(tds_cell_text(c, cell)));
          }
        }
      }
    }
    return literals;
  }

  tds_login login_;
  tsql_object_name table_;
  unsigned bulk_code_page_;  // of character data in a bulk row
  std::vector<slot> slots_;
  bool identity_ = false;
  std::unique_ptr<tds_link> link_;
  std::vector<std::vector<std::wstring>> pending_;  // rows that go by statement
  long sent_ = 0;  // rows sent by bulk copy since it started
  tds_accessors accessors_;
};

}  // namespace

HRESULT tds_open_fast_load(tds_link& session, const tsql_object_name& table, REFIID iid, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::vector<tds_result> results;
  tds_clear_messages();
  if (!session.run(tsql_select_all(table, true), &results) || results.empty()) return tds_fail();
  std::vector<tds_column> columns = std::move(results.front().columns);
  if (!tds_table_columns(session, table, columns)) return tds_fail();
  unsigned bulk_code_page = tds_default_code_page;
  for (const auto& c : columns)
    if (c.type == DBTYPE_WSTR && !c.unicode) {
      tds_column_code_pages(session, table, columns, bulk_code_page);
      break;
    }
  auto* load = new fast_load(session.login(), table, std::move(columns), bulk_code_page);
  HRESULT hr = load->open();
  if (SUCCEEDED(hr)) hr = load->QueryInterface(iid == IID_NULL ? IID_IRowsetFastLoad : iid, reinterpret_cast<void**>(out));
  load->Release();
  return hr;
}
