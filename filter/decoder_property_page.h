#pragma once

// The filter's about page: product name, version and a button to the product web page.

#include "base/property_page.h"
#include "decoder_guids.h"

namespace halvaris::filter {

// Shown on the page's button, and opened (with its scheme) when the button is pressed.
inline constexpr char kWebPageLabel[] = "www.halvaris.com/decoder";
inline constexpr char kWebPageAddress[] = "https://www.halvaris.com/decoder";

class DecoderPropertyPage : public dshow::CBasePropertyPage {
 public:
  static dshow::CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

  explicit DecoderPropertyPage(IUnknown* outer);

  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  bool IsConnected() const { return static_cast<bool>(effectSettings); }

 private:
  win32::ComPtr<IEffectSettings> effectSettings;
};

}  // namespace halvaris::filter
