// The system views the test server answers: INFORMATION_SCHEMA.COLUMNS, built
// from the catalog when a query reads it.
#pragma once

#include <memory>
#include <string_view>

#include "tests/support/tds_server/tds_catalog.h"

namespace tds {

// The view [schema].[name] of database db as a table of its rows; null when
// it is no view this server has.
std::unique_ptr<table> system_view(const database& db, std::string_view schema, std::string_view name);

}  // namespace tds
