#include "decoder_actions.h"

#include <dshow.h>
#include <olectl.h>

#include "decoder_guids.h"
#include "win32_owners.h"

namespace halvaris::control_panel {
namespace {

using win32::ComPtr;
using win32::LoadedModule;

// Frees a counted array of page identifiers that ISpecifyPropertyPages handed over.
struct PageList {
  ~PageList() { CoTaskMemFree(pages.pElems); }
  CAUUID pages = {};
};

}  // namespace

HRESULT ShowDecoderProperties(HWND owner) {
  HRESULT result = S_OK;
  {
    ComPtr<IBaseFilter> decoder;
    result = CoCreateInstance(filter::kDecoderFilterClsid, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IBaseFilter, decoder.PutVoid());
    if (FAILED(result)) return result;
    ComPtr<ISpecifyPropertyPages> specifyPages;
    result = decoder.As(specifyPages);
    if (FAILED(result)) return result;
    PageList list;
    result = specifyPages->GetPages(&list.pages);
    if (FAILED(result)) return result;
    IUnknown* objects[] = {decoder.Get()};
    result = OleCreatePropertyFrame(owner, 0, 0, L"Halvaris Decoder", 1, objects, list.pages.cElems,
                                    list.pages.pElems, GetUserDefaultLCID(), 0, nullptr);
  }
  // The decoder module need not stay loaded once its objects are gone, so that a later install
  // can replace it while this program runs.
  CoFreeUnusedLibraries();
  return result;
}

HRESULT RegisterDecoderModule(const std::wstring& path) {
  const LoadedModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  using RegisterServer = HRESULT(STDAPICALLTYPE*)();
  const auto registerServer = module.Export<RegisterServer>("DllRegisterServer");
  if (registerServer == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  return registerServer();
}

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring InstalledDecoderPath() {
  return ProgramFolder() + L"halvarisDecoder.ax";
}

}  // namespace halvaris::control_panel
