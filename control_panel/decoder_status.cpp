#include "decoder_status.h"

#include <dshow.h>

#include <cstring>

#include "decoder_guids.h"
#include "processor_check.h"
#include "win32_owners.h"
#include "worker_count.h"

namespace halvaris::control_panel {
namespace {

using win32::ComPtr;

// A VARIANT that is cleared on every way out.
struct Variant {
  Variant() { VariantInit(&value); }
  ~Variant() { VariantClear(&value); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT value;
};

std::wstring ClsidString(const CLSID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return text;
}

// A string value, REG_EXPAND_SZ expanded; empty when it is missing or not a string.
std::wstring ReadStringValue(HKEY root, const std::wstring& keyPath, const wchar_t* valueName) {
  win32::RegistryKey key;
  if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
    return {};
  }
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0) {
    return {};
  }
  // The registry does not promise a terminator: one more character of zeros.
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                       &bytes) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  if (type != REG_EXPAND_SZ) return text;
  const DWORD expandedLength = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (expandedLength == 0) return {};
  std::wstring expanded(expandedLength, L'\0');
  ExpandEnvironmentStringsW(text.c_str(), expanded.data(), expandedLength);
  expanded.resize(wcsnlen(expanded.c_str(), expanded.size()));
  return expanded;
}

bool NamesOurFilter(IPropertyBag& bag) {
  Variant clsid;
  return SUCCEEDED(bag.Read(L"CLSID", &clsid.value, nullptr)) && clsid.value.vt == VT_BSTR &&
         _wcsicmp(clsid.value.bstrVal, ClsidString(filter::kDecoderFilterClsid).c_str()) == 0;
}

std::vector<std::uint8_t> ReadFilterData(IPropertyBag& bag) {
  Variant data;
  if (FAILED(bag.Read(L"FilterData", &data.value, nullptr)) ||
      data.value.vt != (VT_ARRAY | VT_UI1) || SafeArrayGetDim(data.value.parray) != 1) {
    return {};
  }
  void* bytes = nullptr;
  if (FAILED(SafeArrayAccessData(data.value.parray, &bytes))) return {};
  const ULONG count = data.value.parray->rgsabound[0].cElements;
  std::vector<std::uint8_t> result(static_cast<std::uint8_t*>(bytes),
                                   static_cast<std::uint8_t*>(bytes) + count);
  SafeArrayUnaccessData(data.value.parray);
  return result;
}

}  // namespace

std::optional<DWORD> MeritFromFilterData(const std::vector<std::uint8_t>& filterData) {
  if (filterData.size() < 8) return std::nullopt;
  DWORD merit = 0;
  std::memcpy(&merit, filterData.data() + 4, sizeof(merit));
  return merit;
}

std::wstring RegisteredModulePath() {
  return ReadStringValue(
      HKEY_CLASSES_ROOT,
      L"CLSID\\" + ClsidString(filter::kDecoderFilterClsid) + L"\\InprocServer32", nullptr);
}

std::wstring ModuleFileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<std::uint8_t> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

// Through the system device enumerator, as graph building sees the filter, rather than through
// the mapper's own registry layout.
std::optional<DWORD> ListedMerit() {
  ComPtr<ICreateDevEnum> devices;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICreateDevEnum, devices.PutVoid()))) {
    return std::nullopt;
  }
  ComPtr<IEnumMoniker> monikers;
  // S_FALSE: the category is empty.
  if (devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, monikers.Put(), 0) != S_OK) {
    return std::nullopt;
  }
  IMoniker* next = nullptr;
  while (monikers->Next(1, &next, nullptr) == S_OK) {
    const ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(next);
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())) ||
        !NamesOurFilter(*bag.Get())) {
      continue;
    }
    return MeritFromFilterData(ReadFilterData(*bag.Get()));
  }
  return std::nullopt;
}

DecoderStatus GatherDecoderStatus() {
  DecoderStatus status;
  status.modulePath = RegisteredModulePath();
  if (!status.modulePath.empty()) {
    status.moduleExists = GetFileAttributesW(status.modulePath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (status.moduleExists) status.fileVersion = ModuleFileVersion(status.modulePath);
  }
  status.merit = ListedMerit();
  status.processorSupported = win32::ProcessorHasRequiredFeatures();
  status.workerCount = win32::WorkerCountOfThisMachine();
  return status;
}

}  // namespace halvaris::control_panel
