// Rowsets read whole: a query's result, or a table whose rows are read when
// first asked for.
#pragma once

#include <memory>

#include "platform/tds/tds_link.h"
#include "platform/tds/tds_sql.h"

// A rowset (IRowset, IColumnsInfo, IAccessor) over the result.
HRESULT tds_make_rowset(tds_result result, REFIID iid, IUnknown** out);
// The table's rowset: its columns now (DB_E_NOTABLE when there is no such
// table), its rows on the first fetch, over the session's connection.
HRESULT tds_open_table(std::shared_ptr<tds_link> link, const tsql_object_name& table, REFIID iid, IUnknown** out);
// Column information as IColumnsInfo hands it out (task memory).
HRESULT tds_column_info(const std::vector<tds_column>& columns, DBORDINAL* count, DBCOLUMNINFO** info,
                        OLECHAR** names);
