// db-lib's header, after ours: it defines DBROWCOUNT as an option number,
// which would hide OLE DB's type of that name.
#pragma once

#include "platform/oledb/oledb_interfaces.h"

#include <sybdb.h>

#undef DBROWCOUNT

// The uniqueidentifier type code, which db-lib's header does not name.
constexpr int SYBUNIQUE = 36;
