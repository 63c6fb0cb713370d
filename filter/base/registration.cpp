#include "base/registration.h"

#include <cwchar>

#include "base/class_factory.h"
#include "win32_owners.h"

namespace halvaris::dshow {
namespace {

constexpr int kGuidChars = 39;

// "CLSID\{...}" for a class.
bool ClassKeyName(const CLSID& clsid, WCHAR (&name)[64]) {
  WCHAR guid[kGuidChars];
  if (StringFromGUID2(clsid, guid, kGuidChars) == 0) return false;
  return std::swprintf(name, 64, L"CLSID\\%ls", guid) > 0;
}

HRESULT SetStringValue(HKEY key, const WCHAR* valueName, const WCHAR* text) {
  const DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(WCHAR));
  const LONG status =
      RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
  return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT RegisterComServer(const FactoryTemplate& entry, const WCHAR* modulePath) {
  WCHAR keyName[64];
  if (!ClassKeyName(*entry.clsid, keyName)) return E_FAIL;
  win32::RegistryKey classKey;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName, 0, nullptr, 0, KEY_WRITE, nullptr,
                                classKey.Put(), nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  HRESULT result = SetStringValue(classKey.Get(), nullptr, entry.name);
  if (FAILED(result)) return result;
  win32::RegistryKey serverKey;
  status = RegCreateKeyExW(classKey.Get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                           serverKey.Put(), nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  result = SetStringValue(serverKey.Get(), nullptr, modulePath);
  if (FAILED(result)) return result;
  return SetStringValue(serverKey.Get(), L"ThreadingModel", L"Both");
}

HRESULT RemoveComServer(const FactoryTemplate& entry) {
  WCHAR keyName[64];
  if (!ClassKeyName(*entry.clsid, keyName)) return E_FAIL;
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyName);
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

}  // namespace

HRESULT AMovieDllRegisterServer2(const FactoryTable& table, BOOL registering) {
  WCHAR modulePath[MAX_PATH];
  const DWORD length = GetModuleFileNameW(ModuleInstance(), modulePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_INSUFFICIENT_BUFFER);
  }
  HRESULT result = S_OK;
  if (registering) {
    for (int i = 0; i < table.count && SUCCEEDED(result); ++i) {
      result = RegisterComServer(table.entries[i], modulePath);
    }
    if (FAILED(result)) return result;
  }
  {
    // regsvr32 does not always initialise COM.
    win32::ComInitialization com(COINIT_APARTMENTTHREADED);
    for (int i = 0; i < table.count && SUCCEEDED(result); ++i) {
      if (table.entries[i].setup) {
        result = RegisterFilterSetup(*table.entries[i].setup, registering != FALSE);
      }
    }
  }
  if (FAILED(result)) return result;
  if (!registering) {
    for (int i = 0; i < table.count && SUCCEEDED(result); ++i) {
      result = RemoveComServer(table.entries[i]);
    }
  }
  return result;
}

}  // namespace halvaris::dshow
