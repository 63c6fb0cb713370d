#include "base/registration.h"
#include "win32_owners.h"

namespace halvaris::dshow {
namespace {

bool IsSuccessOrNotFound(HRESULT result) {
  return SUCCEEDED(result) || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) || result == VFW_E_NOT_FOUND;
}

HRESULT RegisterWithMapper2(IFilterMapper2* mapper, const FilterSetup& setup, bool registering) {
  HRESULT result = mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *setup.clsid);
  if (!IsSuccessOrNotFound(result)) return result;
  if (!registering) return S_OK;
  REGFILTER2 filter{};
  filter.dwVersion = 1;
  filter.dwMerit = setup.merit;
  filter.cPins = setup.pinCount;
  filter.rgPins = setup.pins;
  return mapper->RegisterFilter(*setup.clsid, setup.name, nullptr, &CLSID_LegacyAmFilterCategory,
                                nullptr, &filter);
}

HRESULT RegisterWithMapper1(IFilterMapper* mapper, const FilterSetup& setup, bool registering) {
  HRESULT result = mapper->UnregisterFilter(*setup.clsid);
  if (!IsSuccessOrNotFound(result)) return result;
  if (!registering) return S_OK;
  result = mapper->RegisterFilter(*setup.clsid, setup.name, setup.merit);
  for (UINT p = 0; SUCCEEDED(result) && p < setup.pinCount; ++p) {
    const REGFILTERPINS& pin = setup.pins[p];
    result = mapper->RegisterPin(*setup.clsid, pin.strName, pin.bRendered, pin.bOutput, pin.bZero,
                                 pin.bMany,
                                 pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : CLSID_NULL,
                                 const_cast<LPWSTR>(pin.strConnectsToPin));
    for (UINT t = 0; SUCCEEDED(result) && t < pin.nMediaTypes; ++t) {
      result = mapper->RegisterPinType(*setup.clsid, pin.strName, *pin.lpMediaType[t].clsMajorType,
                                       *pin.lpMediaType[t].clsMinorType);
    }
  }
  return result;
}

}  // namespace

HRESULT RegisterFilterSetup(const FilterSetup& setup, bool registering) {
  win32::ComPtr<IFilterMapper2> mapper2;
  if (SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IFilterMapper2, mapper2.PutVoid()))) {
    return RegisterWithMapper2(mapper2.Get(), setup, registering);
  }
  win32::ComPtr<IFilterMapper> mapper1;
  const HRESULT result = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_IFilterMapper, mapper1.PutVoid());
  if (FAILED(result)) return result;
  return RegisterWithMapper1(mapper1.Get(), setup, registering);
}

}  // namespace halvaris::dshow
