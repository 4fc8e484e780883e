// Shared pieces of the provider's objects: the accessors of a rowset.
#pragma once

#include <map>
#include <vector>

#include "platform/oledb/oledb_interfaces.h"

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
