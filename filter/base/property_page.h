#pragma once

// A property page made from a dialog resource: IPropertyPage with the page site, activation,
// sizing from the dialog template and the dialog procedure that hands messages to the page.

#include <ocidl.h>
#include <windows.h>

#include "base/unknown.h"
#include "win32_owners.h"

namespace halvaris::dshow {

class CBasePropertyPage : public CUnknown, public IPropertyPage {
 public:
  // `dialogId` and `titleId` name a dialog and a string resource of this module.
  CBasePropertyPage(IUnknown* outer, int dialogId, int titleId);
  ~CBasePropertyPage() override;

  HALVARIS_DELEGATING_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPropertyPage
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT command) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override;
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDirectory) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) override;

  // What a page decides.
  virtual HRESULT OnConnect(IUnknown*) { return S_OK; }
  virtual HRESULT OnDisconnect() { return S_OK; }
  virtual HRESULT OnActivate() { return S_OK; }
  virtual HRESULT OnDeactivate() { return S_OK; }
  virtual HRESULT OnApplyChanges() { return S_OK; }
  // A dialog message; FALSE lets the dialog manager handle it.
  virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND Window() const { return window_; }

 protected:
  win32::ComPtr<IPropertyPageSite> site_;
  HWND window_ = nullptr;
  bool dirty_ = false;
  bool objectSet_ = false;

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  int dialogId_;
  int titleId_;
};

}  // namespace halvaris::dshow
