#pragma once

// The module's table of creatable classes and the class factory over it.

#include <unknwn.h>
#include <windows.h>

#include "base/module_instance.h"
#include "base/unknown.h"

namespace halvaris::dshow {

struct FilterSetup;

struct FactoryTemplate {
  // Makes a new object aggregated by `outer` (may be nullptr); on failure returns nullptr and
  // stores the reason in `*result`.
  using CreateFunction = CUnknown* (*)(IUnknown* outer, HRESULT* result);
  // Called with TRUE when the module loads and FALSE when it unloads; may be nullptr.
  using LoadFunction = void (*)(BOOL loading, const CLSID* clsid);

  const WCHAR* name;
  const CLSID* clsid;
  CreateFunction create;
  LoadFunction loadUnload;
  const FilterSetup* setup;  // nullptr for classes that are not filters
};

struct FactoryTable {
  const FactoryTemplate* entries;
  int count;
};

// The bodies of the module exports DllGetClassObject and DllCanUnloadNow.
HRESULT BaseDllGetClassObject(const FactoryTable& table, REFCLSID clsid, REFIID iid, void** object);
HRESULT BaseDllCanUnloadNow();

}  // namespace halvaris::dshow
