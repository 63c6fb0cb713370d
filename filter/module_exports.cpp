// Entry point and exports of halvarisDecoder.ax.

#include <windows.h>

#include "base/registration.h"
#include "module_entries.h"

using halvaris::dshow::FactoryTable;
using halvaris::filter::DecoderFactoryTable;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    halvaris::dshow::SetModuleInstance(instance);
  }
  const FactoryTable& table = DecoderFactoryTable();
  if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH) {
    for (int i = 0; i < table.count; ++i) {
      if (table.entries[i].loadUnload) {
        table.entries[i].loadUnload(reason == DLL_PROCESS_ATTACH, table.entries[i].clsid);
      }
    }
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return halvaris::dshow::BaseDllGetClassObject(DecoderFactoryTable(), clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
  return halvaris::dshow::BaseDllCanUnloadNow();
}

STDAPI DllRegisterServer() {
  return halvaris::dshow::AMovieDllRegisterServer2(DecoderFactoryTable(), TRUE);
}

STDAPI DllUnregisterServer() {
  return halvaris::dshow::AMovieDllRegisterServer2(DecoderFactoryTable(), FALSE);
}
