#include "decoder_property_page.h"

#include <new>

#include "decoder_resources.h"
#include "user_interface.h"

namespace halvaris::filter {

dshow::CUnknown* DecoderPropertyPage::CreateInstance(IUnknown* outer, HRESULT* result) {
  auto* page = new (std::nothrow) DecoderPropertyPage(outer);
  if (!page && result) *result = E_OUTOFMEMORY;
  return page;
}

DecoderPropertyPage::DecoderPropertyPage(IUnknown* outer)
    : CBasePropertyPage(outer, IDD_DECODER_PAGE, IDS_DECODER_PAGE_TITLE) {}

HRESULT DecoderPropertyPage::OnConnect(IUnknown* object) {
  if (!object) return E_POINTER;
  win32::ComPtr<IEffectSettings> settings;
  const HRESULT result = object->QueryInterface(kEffectSettingsIid, settings.PutVoid());
  if (FAILED(result) || !settings) return E_NOINTERFACE;
  effectSettings = settings;
  return S_OK;
}

HRESULT DecoderPropertyPage::OnDisconnect() {
  if (!effectSettings) return E_UNEXPECTED;
  effectSettings.Reset();
  return S_OK;
}

INT_PTR DecoderPropertyPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_COMMAND) {
    if (LOWORD(wParam) == IDC_WEB_PAGE_BUTTON) OpenAddress(window, kWebPageAddress);
    return TRUE;
  }
  return CBasePropertyPage::OnReceiveMessage(window, message, wParam, lParam);
}

}  // namespace halvaris::filter
