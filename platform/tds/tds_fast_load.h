// Bulk-load rowsets (IRowsetFastLoad) over db-lib's bulk copy, on a
// connection of their own.
#pragma once

#include "platform/tds/tds_link.h"
#include "platform/tds/tds_sql.h"

// Opens a bulk load into the table; the session's connection reads the
// table's columns. Rows: InsertRow with an accessor of the rowset; Commit(false)
// commits the rows so far and goes on, Commit(true) commits and ends.
HRESULT tds_open_fast_load(tds_link& session, const tsql_object_name& table, REFIID iid, IUnknown** out);
