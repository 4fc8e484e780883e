// The component runtime: per-thread initialisation, and creation of objects by
// class identifier from the classes that engines register (our stand-in for the
// system's class registry).
#pragma once

#include <functional>

#include "platform/com/com_base.h"

// Class contexts.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = 0x17;

constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);

// {00000001-0000-0000-C000-000000000046}
constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

// Initialises the runtime on the calling thread: S_OK the first time, S_FALSE
// when already initialised; each successful call is matched by CoUninitialize.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
// How many initialisations the calling thread holds.
int co_initialize_count();

// The factory of a registered class; REGDB_E_CLASSNOTREG when none is.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* server_info, REFIID iid, void** out);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);

// Registers a class: make creates a new object and answers the interface iid
// (as QueryInterface does). Registering a class again replaces it.
using com_class_maker = std::function<HRESULT(REFIID iid, void** out)>;
void register_com_class(REFCLSID clsid, com_class_maker make);
// Withdraws a class; false when it was not registered.
bool withdraw_com_class(REFCLSID clsid);
