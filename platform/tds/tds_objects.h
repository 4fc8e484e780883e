// Shared pieces of the provider's objects: the reference-counted base over
// several interfaces, and accessors.
#pragma once

#include <atomic>
#include <map>
#include <vector>

#include "platform/oledb/oledb_interfaces.h"

template <class... I>
class tds_object : public I... {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = find(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  // The interface iid of this object, or null.
  virtual void* find(REFIID iid) = 0;
  virtual ~tds_object() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

// The accessors of one rowset.
class tds_accessors {
 public:
  HRESULT create(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING* bindings, DBCOUNTITEM columns,
                 HACCESSOR* accessor, DBBINDSTATUS* status);
  HRESULT release(HACCESSOR accessor, DBREFCOUNT* count);
  HRESULT add_ref(HACCESSOR accessor, DBREFCOUNT* count);
  HRESULT get(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count, DBBINDING** bindings) const;
  // The bindings of an accessor, or null.
  const std::vector<DBBINDING>* find(HACCESSOR accessor) const;

 private:
  struct entry {
    std::vector<DBBINDING> bindings;
    DBREFCOUNT refs = 1;
  };
  std::map<HACCESSOR, entry> entries_;
  HACCESSOR next_ = 1;
};
