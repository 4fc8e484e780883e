// The service component that turns a connection string into an uninitialised
// data source of the provider it names ("Provider=sqloledb;Data Source=...").
#pragma once

#include <string>

#include "platform/oledb/oledb_interfaces.h"

// Makes a provider known by its name (case ignored).
void register_oledb_provider(const std::wstring& name, REFCLSID clsid);
// Registers CLSID_MSDAINITIALIZE (IDataInitialize) once per process.
void register_oledb_services();
