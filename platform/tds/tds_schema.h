// Schema rowsets (tables, primary keys, indexes, foreign keys) from the
// server's catalog procedures, reshaped to OLE DB's column layout.
#pragma once

#include "platform/tds/tds_link.h"

HRESULT tds_schema_rowset(tds_link& link, REFGUID schema, ULONG count, const VARIANT* restrictions, REFIID iid,
                          IUnknown** out);
