// The SQL Server provider ("sqloledb") on FreeTDS db-lib: data sources,
// sessions (one connection each), commands, rowsets read whole, schema
// rowsets, table and index definition, and bulk-load rowsets (a connection of
// their own each).
#pragma once

#include <string>

#include "platform/tds/tds_link.h"

// Registers the provider's class and its name "sqloledb", the service
// component that reads connection strings, and the data-conversion library
// (once per process).
void register_sqloledb();

// The db-lib server text for a connection string's Data Source: "host,port"
// becomes "host:port", "host\instance" stays, "", "(local)" and "." are this
// machine; a "tcp:" prefix is dropped. False for a port that is no number
// from 1 to 65535.
bool tds_server_address(const std::wstring& data_source, std::string& server);
