#pragma once

// Self-registration: the COM server keys of every class in the factory table, and the filter
// mapper entries of every class that has filter setup data.

#define NO_DSHOW_STRSAFE
#include <dshow.h>

namespace halvaris::dshow {

struct FilterSetup {
  const CLSID* clsid;
  const WCHAR* name;
  DWORD merit;
  UINT pinCount;
  const REGFILTERPINS* pins;
};

struct FactoryTable;

// Registers (or removes) every class of the module's table; returns the first failure.
HRESULT AMovieDllRegisterServer2(const FactoryTable& table, BOOL registering);

// Removes any earlier mapper entry of the filter, then registers it when `registering`.
// Needs COM initialised on the calling thread.
HRESULT RegisterFilterSetup(const FilterSetup& setup, bool registering);

}  // namespace halvaris::dshow
