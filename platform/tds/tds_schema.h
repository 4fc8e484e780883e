// Schema rowsets (tables, primary keys, indexes, foreign keys) from the
// server's catalog procedures, reshaped to OLE DB's column layout.
#pragma once

#include "platform/tds/tds_link.h"
#include "platform/tds/tds_sql.h"

HRESULT tds_schema_rowset(tds_link& link, REFGUID schema, ULONG count, const VARIANT* restrictions, REFIID iid,
                          IUnknown** out);

// Completes the columns of a table's result (its SELECT TOP 0) from the
// server's catalog: character counts, national or not, identity, nullability
// and the declared type code. False (collected) on a failed query.
bool tds_table_columns(tds_link& link, const tsql_object_name& table, std::vector<tds_column>& columns);
// The code page of each char, varchar and text column of the table (its
// collation's) and that of the current database's collation, in which a bulk
// load's character data is read. A server that cannot tell (SQL Server 7)
// gives tds_default_code_page for all.
void tds_column_code_pages(tds_link& link, const tsql_object_name& table, std::vector<tds_column>& columns,
                           unsigned& database_code_page);
