#include "dao/dao_engi.h"

#include <cstdio>
#include <mutex>

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "dao/dao_db.h"
#include "platform/com/com_runtime.h"

const dao_version dao_version_table[4] = {
    {0, CLSID_DBEngine36, IID_DBEngine},
    {1, CLSID_DBEngine35, IID_DBEngine},
    {2, CLSID_DBEngine30, IID_DBEngine30},
    {3, CLSID_DBEngine120, IID_DBEngine},
};

VARIANT dao_variant_short(short value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I2;
  v.iVal = value;
  return v;
}

VARIANT dao_variant_long(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = static_cast<LONG>(value);
  return v;
}

VARIANT dao_variant_bool(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT dao_variant_text(BSTR text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

std::wstring dao_take_text(BSTR text) {
  std::wstring out = bstr_text(text);
  SysFreeString(text);
  return out;
}

void dao_check(HRESULT hr) {
  if (FAILED(hr)) throw dao_exception();
}

// ---- dao_exception ----

dao_exception::dao_exception() : tk_exception(std::string(), 0) {
  tk_trace(2, "dao_exception::dao_exception");
  dao_engine& engine = dao_engine::get_instance();
  auto fail = [](const char* step) {
    tk_trace(1, "%s", step);
    throw tk_exception(1);
  };
  ole_com_ptr<DAOErrors> errors;
  if (!engine.get_dbengine() || FAILED(engine.get_dbengine()->get_Errors(errors.out())) || !errors)
    fail("Failed on step #1");
  ole_com_ptr<DAOError> error;
  VARIANT first;
  VariantInit(&first);
  first.vt = VT_I4;
  first.lVal = 0;
  if (FAILED(errors->get_Item(first, error.out())) || !error) fail("Failed on step #2");
  BSTR description = nullptr;
  if (FAILED(error->get_Description(&description))) fail("Failed on step #3");
  message_ = tk_to_narrow(bstr_text(description), CP_ACP);
  SysFreeString(description);
  tk_trace(2, "Got error: %s", message_.c_str());
  long number = 0;
  if (FAILED(error->get_Number(&number))) fail("Failed on step #4");
  code_ = static_cast<int>((static_cast<unsigned long>(number) & 0xFFFFu) | 0x10000u);
  tk_trace(2, "Got error code: %08X", static_cast<unsigned>(code_));
  level_ = 0;
}

// ---- dao_bstr ----

dao_bstr::dao_bstr(const std::wstring& text) : text_(bstr_from(text)) {
  tk_wtrace(1, L"dao_bstr::ctor( wstring=%s )", text.c_str());
}

dao_bstr::dao_bstr(const std::string& text) : text_(bstr_from(tk_from_narrow(text, CP_THREAD_ACP))) {
  tk_trace(1, "dao_bstr::ctor( string=%s )", text.c_str());
}

dao_bstr::~dao_bstr() { SysFreeString(text_); }

dao_bstr::operator BSTR() const {
  tk_trace(1, "dao_bstr::operator BSTR");
  return text_;
}

// ---- dao_generator ----

dao_generator::dao_generator() { tk_trace(2, "dao_generator::ctor"); }

dao_generator::~dao_generator() {
  tk_trace(2, "dao_generator::dtor");
  if (delete_flag) {
    std::remove((file_name + ".ldb").c_str());
    std::remove(file_name.c_str());
  }
}

// ---- dao_engine ----

dao_engine::dao_engine(bool no_co_initialize) : no_co_initialize_(no_co_initialize) {
  tk_trace(2, "dao_engine::ctor");
  static std::once_flag registered;
  std::call_once(registered, [] { register_dao_engine(); });
  if (!no_co_initialize_ && FAILED(CoInitialize(nullptr))) throw dao_exception();
}

dao_engine::~dao_engine() {
  tk_trace(2, "dao_engine::dtor");
  if (release_ && version_ != dao_version_none) uninitialize();
  // The engine object goes before the runtime is left on this thread.
  engine_ = nullptr;
  if (!no_co_initialize_) CoUninitialize();
}

void dao_engine::uninitialize() {
  tk_trace(2, "dao_engine::uninitialize");
  engine_ = nullptr;
  version_ = dao_version_none;
}

bool dao_engine::set_version_if(int key) {
  tk_trace(2, "dao_engine::set_version_if(%d)", key);
  if (version_ != dao_version_none) uninitialize();
  const dao_version* entry = nullptr;
  for (const auto& candidate : dao_version_table)
    if (candidate.key == key) entry = &candidate;
  if (!entry) throw tk_mail_assertion("dao_engi", 402);
  ole_com_ptr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(entry->clsid, 0x15, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(factory.out()));
  if (FAILED(hr) || !factory) {
    tk_trace(1, "Failed to create ClassFactory");
    return false;
  }
  ole_com_ptr<DAODBEngine> engine;
  hr = factory->CreateInstance(nullptr, entry->iid, reinterpret_cast<void**>(engine.out()));
  if (FAILED(hr) || !engine) {
    tk_trace(1, "Failed to create the DAO engine object (%08X)", static_cast<unsigned>(hr));
    return false;
  }
  engine_ = std::move(engine);
  version_ = entry->key;
  return true;
}

std::unique_ptr<dao_database> dao_engine::open_dao_src(const std::wstring& path, const std::wstring& connect,
                                                       unsigned flags) {
  tk_wtrace(2, L"dao_engine::open_dao_src(%s, %s)", path.c_str(), connect.c_str());
  if (version_ == dao_version_none) throw tk_mail_assertion("dao_engi", 288);
  if (!engine_) throw tk_mail_assertion("dao_engi", 291);
  dao_bstr name(path), connect_text(connect);
  ole_com_ptr<DAODatabase> db;
  HRESULT hr = engine_->OpenDatabase(name, dao_variant_bool(flags & 0x10), dao_variant_bool(flags & 0x01),
                                     dao_variant_text(connect_text), db.out());
  dao_check(hr, db);
  return std::make_unique<dao_database>(path, db.get(), flags | 0x20);
}

std::unique_ptr<udb_database> dao_engine::create_db(const std::wstring& path) {
  tk_wtrace(2, L"dao_engine::create_db (%s)", path.c_str());
  tk_wtrace(3, L"Creating MS Access database '%s'", path.c_str());
  if (version_ == dao_version_none) throw tk_mail_assertion("dao_engi", 165);
  if (!engine_) throw tk_mail_assertion("dao_engi", 168);
  dao_bstr name(path), locale(std::wstring(L";LANGID=0x0409;CP=1252;COUNTRY=0"));
  VARIANT option;
  VariantInit(&option);
  option.vt = VT_I4;
  option.lVal = 0;
  ole_com_ptr<DAODatabase> db;
  HRESULT hr = engine_->CreateDatabase(name, locale, option, db.out());
  tk_trace(1, "CreateDatabase returns %08X", static_cast<unsigned>(hr));
  if (static_cast<unsigned>(hr) == 0x800A0E31u)
    throw tk_exception(tk_format("Failed to load Data Access Objects (DAO) support library.\n%s installation is "
                                 "required to proceed\nwith the application.\n",
                                 version_ == 0 ? "Microsoft Access 2000" : "Microsoft Access 95/97"),
                       1);
  dao_check(hr, db);
  return std::make_unique<dao_database>(path, db.get(), 0x72);
}

std::unique_ptr<udb_database> dao_engine::open_db(const std::wstring& path, unsigned mode,
                                                  const std::wstring& password) {
  tk_wtrace(2, L"dao_engine::open_db(%s, mode=%d)", path.c_str(), static_cast<int>(mode));
  if (version_ == dao_version_none) throw tk_mail_assertion("dao_engi", 237);
  if (!engine_) throw tk_mail_assertion("dao_engi", 240);
  dao_bstr name(path), connect(password.empty() ? std::wstring() : L";pwd=" + password);
  tk_trace(1, "Open database using DAO engine");
  ole_com_ptr<DAODatabase> db;
  HRESULT hr = engine_->OpenDatabase(name, dao_variant_bool(mode & 0x10), dao_variant_bool(mode & 0x01),
                                     dao_variant_text(connect), db.out());
  dao_check(hr);
  tk_trace(1, "Right after OpenDatabase call");
  dao_check(hr, db);
  return std::make_unique<dao_database>(path, db.get(), mode);
}
