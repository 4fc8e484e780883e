// The data-access engine: created by class identifier from the version table,
// it opens workbooks and databases as dao_database objects; dao_exception turns
// the engine's latest error into a tk_exception.
#pragma once

#include <memory>
#include <string>

#include "OLE/ole_ptr.h"
#include "TK/tk_excep.h"
#include "TK/tk_singl.h"
#include "UDB/udb_db.h"
#include "platform/dao/dao.h"

class dao_database;

// An entry of the version table.
struct dao_version {
  int key;
  CLSID clsid;
  IID iid;
};
// ACE DAO 12.0 (key 3) is tried first, DAO 3.6 (key 0) when it fails.
constexpr int dao_version_ace12 = 3;
constexpr int dao_version_36 = 0;
constexpr int dao_version_none = 4;
extern const dao_version dao_version_table[4];

// The first error of the engine's Errors collection: code 0x10000 + the DAO
// number, level 0.
class dao_exception : public tk_exception {
 public:
  dao_exception();
};

// One BSTR argument of a DAO call.
class dao_bstr {
 public:
  explicit dao_bstr(const std::wstring& text);
  // Text in the calling thread's ANSI code page.
  explicit dao_bstr(const std::string& text);
  dao_bstr(const dao_bstr&) = delete;
  dao_bstr& operator=(const dao_bstr&) = delete;
  ~dao_bstr();
  operator BSTR() const;

 private:
  BSTR text_;
};

// A file to remove (with its ".ldb" lock file) when the engine goes, when asked to.
class dao_generator {
 public:
  dao_generator();
  ~dao_generator();
  std::string file_name;
  bool delete_flag = false;
};

class dao_engine : public udb_engine, public tk_singleton<dao_engine> {
 public:
  explicit dao_engine(bool no_co_initialize = false);
  ~dao_engine() override;

  // Creates the engine object of the version with that key; false when it cannot be made.
  bool set_version_if(int key);
  // Opens a workbook (or a database) with a connect string; flags: 0x01
  // read-only, 0x10 exclusive; 0x20 is always added.
  std::unique_ptr<dao_database> open_dao_src(const std::wstring& path, const std::wstring& connect,
                                             unsigned flags);

  std::unique_ptr<udb_database> create_db(const std::wstring& path) override;
  std::unique_ptr<udb_database> open_db(const std::wstring& path, unsigned mode,
                                        const std::wstring& password) override;

  DAODBEngine* get_dbengine() const { return engine_.get(); }
  int get_version_key() const { return version_; }

 private:
  void uninitialize();

  ole_com_ptr<DAODBEngine> engine_;
  int version_ = dao_version_none;
  dao_generator generator_;
  bool release_ = false;
  bool no_co_initialize_;
};

// VARIANT arguments of DAO calls. A text is a shallow copy: the BSTR stays its
// holder's (a dao_bstr).
VARIANT dao_variant_short(short value);
VARIANT dao_variant_long(long value);
VARIANT dao_variant_bool(bool value);
VARIANT dao_variant_text(BSTR text);
// The text of a BSTR that a DAO call handed over, which is freed.
std::wstring dao_take_text(BSTR text);

// Raises a dao_exception when hr failed, and tk_exception (level 1, "Unknown
// exception") when a call succeeded without giving its object.
void dao_check(HRESULT hr);
template <class T>
void dao_check(HRESULT hr, const T& object) {
  dao_check(hr);
  if (!object) throw tk_exception(1);
}
