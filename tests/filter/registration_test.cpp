// The module registered for real with regsvr32: COM server keys, the filter mapper's entry,
// creation through the registry, and the module's unload answer.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decoder_guids.h"
#include "filter_test_support.h"
#include "module_test_support.h"

namespace halvaris::filter::testing {
namespace {

using win32::ComPtr;

// One filter of the legacy category as the system device enumerator lists it.
struct ListedFilter {
  std::wstring friendlyName;
  std::vector<BYTE> filterData;
};

std::wstring ClsidString(const CLSID& clsid) {
  WCHAR text[40];
  StringFromGUID2(clsid, text, 40);
  return text;
}

// True when the moniker names our filter; `bag` then holds its properties.
bool IsOurs(IMoniker* moniker, ComPtr<IPropertyBag>& bag) {
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()))) {
    return false;
  }
  VARIANT value;
  VariantInit(&value);
  const bool ours = SUCCEEDED(bag->Read(L"CLSID", &value, nullptr)) && value.vt == VT_BSTR &&
                    ClsidString(kDecoderFilterClsid) == value.bstrVal;
  VariantClear(&value);
  return ours;
}

std::vector<ListedFilter> ListedDecoders() {
  std::vector<ListedFilter> found;
  ComPtr<ICreateDevEnum> devices;
  EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                             IID_ICreateDevEnum, devices.PutVoid()),
            S_OK);
  ComPtr<IEnumMoniker> monikers;
  if (!devices ||
      devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, monikers.Put(), 0) != S_OK) {
    return found;
  }
  IMoniker* raw = nullptr;
  while (monikers->Next(1, &raw, nullptr) == S_OK) {
    ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Attach(raw);
    ComPtr<IPropertyBag> bag;
    if (!IsOurs(moniker.Get(), bag)) continue;
    VARIANT value;
    VariantInit(&value);
    ListedFilter listed;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR) {
      listed.friendlyName = value.bstrVal;
    }
    VariantClear(&value);
    if (SUCCEEDED(bag->Read(L"FilterData", &value, nullptr)) && value.vt == (VT_ARRAY | VT_UI1)) {
      void* bytes = nullptr;
      SafeArrayAccessData(value.parray, &bytes);
      listed.filterData.assign(static_cast<BYTE*>(bytes),
                               static_cast<BYTE*>(bytes) + value.parray->rgsabound[0].cElements);
      SafeArrayUnaccessData(value.parray);
    }
    VariantClear(&value);
    found.push_back(listed);
  }
  return found;
}

// The mapper's binary filter data: a header, then per pin its flags and media types whose
// GUIDs are stored at offsets into the same data.
struct RegisteredPin {
  DWORD flags;
  std::vector<std::pair<GUID, GUID>> types;
};
struct RegisteredFilter {
  DWORD version = 0;
  DWORD merit = 0;
  std::vector<RegisteredPin> pins;
};

RegisteredFilter ParseFilterData(const std::vector<BYTE>& data) {
  RegisteredFilter filter;
  auto dword = [&](size_t offset) {
    DWORD value = 0;
    if (offset + 4 <= data.size()) std::memcpy(&value, data.data() + offset, 4);
    return value;
  };
  auto guid = [&](size_t offset) {
    GUID value{};
    if (offset + sizeof(GUID) <= data.size()) std::memcpy(&value, data.data() + offset, 16);
    return value;
  };
  filter.version = dword(0);
  filter.merit = dword(4);
  const DWORD pins = dword(8);
  size_t offset = 16;
  for (DWORD p = 0; p < pins && offset < data.size(); ++p) {
    RegisteredPin pin;
    pin.flags = dword(offset + 4);
    const DWORD types = dword(offset + 12);
    const DWORD mediums = dword(offset + 16);
    const DWORD hasCategory = dword(offset + 20);
    offset += 24 + (hasCategory ? 4 : 0);
    for (DWORD t = 0; t < types; ++t) {
      pin.types.emplace_back(guid(dword(offset + 8)), guid(dword(offset + 12)));
      offset += 16;
    }
    offset += 4 * mediums;
    filter.pins.push_back(pin);
  }
  return filter;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(RunRegsvr32(), 0); }
};

TEST_F(RegistrationTest, MapperListsTheFilterOnceWithItsMeritAndPins) {
  ASSERT_EQ(RunRegsvr32(), 0);  // registered twice now
  const std::vector<ListedFilter> listed = ListedDecoders();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].friendlyName, L"Halvaris Decoder");
  const RegisteredFilter filter = ParseFilterData(listed[0].filterData);
  EXPECT_EQ(filter.merit, 0x00800001u);
  ASSERT_EQ(filter.pins.size(), 2u);
  EXPECT_EQ(filter.pins[0].flags, 0u);  // input: not rendered, not many, not zero
  EXPECT_EQ(filter.pins[1].flags, static_cast<DWORD>(REG_PINFLAG_B_OUTPUT));
  for (const RegisteredPin& pin : filter.pins) {
    ASSERT_EQ(pin.types.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(pin.types[0].first, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(pin.types[0].second, GUID_NULL));
  }
}

TEST_F(RegistrationTest, ComServerKeysNameTheModule) {
  win32::RegistryKey key;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_CLASSES_ROOT,
                    (L"CLSID\\" + ClsidString(kDecoderFilterClsid) + L"\\InprocServer32").c_str(),
                    0, KEY_READ, key.Put()),
      ERROR_SUCCESS);
  char value[MAX_PATH] = {};
  DWORD bytes = sizeof(value);
  EXPECT_EQ(RegQueryValueExA(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(lstrcmpiA(value, DecoderModulePath().c_str()), 0) << value;
  bytes = sizeof(value);
  EXPECT_EQ(RegQueryValueExA(key.Get(), "ThreadingModel", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(value), &bytes),
            ERROR_SUCCESS);
  EXPECT_STREQ(value, "Both");
}

TEST_F(RegistrationTest, FilterAndPageAreCreatedThroughTheRegistry) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(CoCreateInstance(kDecoderFilterClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             filter.PutVoid()),
            S_OK);
  CLSID clsid{};
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kDecoderFilterClsid));
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(CoCreateInstance(kDecoderPropertyPageClsid, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IPropertyPage, page.PutVoid()),
            S_OK);
  IUnknown* object = filter.Get();
  EXPECT_EQ(page->SetObjects(1, &object), S_OK);
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
}

TEST_F(RegistrationTest, UnregisteringRemovesEverything) {
  ASSERT_EQ(RunRegsvr32(true), 0);
  EXPECT_TRUE(ListedDecoders().empty());
  win32::RegistryKey key;
  EXPECT_NE(
      RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidString(kDecoderFilterClsid)).c_str(), 0,
                    KEY_READ, key.Put()),
      ERROR_SUCCESS);
  EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT,
                          (L"CLSID\\" + ClsidString(kDecoderPropertyPageClsid)).c_str(), 0,
                          KEY_READ, key.Put()),
            ERROR_SUCCESS);
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(CoCreateInstance(kDecoderFilterClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             filter.PutVoid()),
            REGDB_E_CLASSNOTREG);
  // A second removal finds nothing to remove and still succeeds.
  EXPECT_EQ(RunRegsvr32(true), 0);
}

// The module's exports, loaded directly.
struct ModuleExports {
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(WINAPI*)();

  win32::LoadedModule module{LoadLibraryA(DecoderModulePath().c_str())};
  GetClassObject getClassObject = module.Export<GetClassObject>("DllGetClassObject");
  CanUnloadNow canUnloadNow = module.Export<CanUnloadNow>("DllCanUnloadNow");
};

TEST(ModuleExportsTest, CanUnloadOnlyWhenNoObjectLivesAndNoFactoryIsLocked) {
  ModuleExports exports;
  ASSERT_NE(exports.getClassObject, nullptr);
  ASSERT_NE(exports.canUnloadNow, nullptr);
  EXPECT_EQ(exports.canUnloadNow(), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(exports.getClassObject(kDecoderFilterClsid, IID_IClassFactory, factory.PutVoid()),
            S_OK);
  EXPECT_EQ(exports.canUnloadNow(), S_FALSE);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(exports.canUnloadNow(), S_FALSE);
  filter.Reset();
  EXPECT_EQ(exports.canUnloadNow(), S_FALSE);  // still locked

  ASSERT_EQ(exports.getClassObject(kDecoderFilterClsid, IID_IClassFactory, factory.PutVoid()),
            S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(exports.canUnloadNow(), S_OK);
}

TEST(ModuleExportsTest, ServesFactoriesForItsTwoClassesOnly) {
  ModuleExports exports;
  ASSERT_NE(exports.getClassObject, nullptr);
  ComPtr<IUnknown> object;
  EXPECT_EQ(exports.getClassObject(CLSID_FilterGraph, IID_IClassFactory, object.PutVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(exports.getClassObject(kDecoderFilterClsid, IID_IPin, object.PutVoid()), E_NOINTERFACE);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(exports.getClassObject(kDecoderPropertyPageClsid, IID_IUnknown, unknown.PutVoid()),
            S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(unknown.As(factory), S_OK);
  ComPtr<IPropertyPage> page;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()), S_OK);
}

TEST(ModuleFileTest, VersionResourceDescribesASelfRegisteringFilter) {
  const std::string path = DecoderModulePath();
  DWORD ignored = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00020000u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  const std::pair<const char*, const char*> strings[] = {{"ActiveMovie", "Filter dll"},
                                                         {"FileDescription", "Halvaris Decoder"},
                                                         {"ProductName", "Halvaris Decoder"},
                                                         {"FileVersion", "1.02"},
                                                         {"ProductVersion", "1.02"},
                                                         {"InternalName", "halvarisDecoder.ax"},
                                                         {"OriginalFilename", "halvarisDecoder.ax"},
                                                         {"OLESelfRegister", "AM20"},
                                                         {"Comments", ""}};
  for (const auto& [name, expected] : strings) {
    char* value = nullptr;
    const std::string key = std::string("\\StringFileInfo\\040904e4\\") + name;
    ASSERT_TRUE(
        VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        << name;
    EXPECT_STREQ(value, expected) << name;
  }
}

}  // namespace
}  // namespace halvaris::filter::testing
