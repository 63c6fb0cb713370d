#include "base/property_page.h"

#include <cstring>

#include "base/module_instance.h"

namespace halvaris::dshow {
namespace {

// The dialog's size in dialog units, read from its template (DIALOG or DIALOGEX).
bool DialogTemplateSize(int dialogId, SIZE& size) {
  HINSTANCE instance = ModuleInstance();
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(dialogId), MAKEINTRESOURCEW(5));
  if (!found) return false;
  HGLOBAL loaded = LoadResource(instance, found);
  const auto* bytes = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes || SizeofResource(instance, found) < sizeof(DLGTEMPLATE)) return false;
  WORD version = 0;
  WORD signature = 0;
  std::memcpy(&version, bytes, sizeof(WORD));
  std::memcpy(&signature, bytes + 2, sizeof(WORD));
  // DLGTEMPLATEEX keeps cx, cy at bytes 22..25; DLGTEMPLATE at bytes 14..17.
  const size_t offset = (version == 1 && signature == 0xFFFF) ? 22 : 14;
  short cx = 0;
  short cy = 0;
  std::memcpy(&cx, bytes + offset, sizeof(short));
  std::memcpy(&cy, bytes + offset + 2, sizeof(short));
  size.cx = cx;
  size.cy = cy;
  return true;
}

}  // namespace

CBasePropertyPage::CBasePropertyPage(IUnknown* outer, int dialogId, int titleId)
    : CUnknown(outer), dialogId_(dialogId), titleId_(titleId) {}

CBasePropertyPage::~CBasePropertyPage() {
  if (window_) DestroyWindow(window_);
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::NonDelegatingQueryInterface(REFIID iid,
                                                                         void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IPropertyPage)) {
    return GetInterface(static_cast<IPropertyPage*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (site) {
    if (site_) return E_UNEXPECTED;
    site_ = win32::ComPtr<IPropertyPageSite>(site);
  } else {
    if (!site_) return E_UNEXPECTED;
    site_.Reset();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (!rect) return E_POINTER;
  if (window_) return E_UNEXPECTED;
  // WM_INITDIALOG stores the window.
  const HWND window = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(dialogId_), parent,
                                         &DialogProcedure, reinterpret_cast<LPARAM>(this));
  if (!window) return E_OUTOFMEMORY;
  window_ = window;
  OnActivate();
  Move(rect);
  return Show(SW_SHOWNORMAL);
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Deactivate() {
  if (!window_) return E_UNEXPECTED;
  OnDeactivate();
  DestroyWindow(window_);
  window_ = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  WCHAR title[256];
  const int length = LoadStringW(ModuleInstance(), static_cast<UINT>(titleId_), title, 256);
  if (length <= 0) title[0] = L'\0';
  const size_t bytes = (static_cast<size_t>(length > 0 ? length : 0) + 1) * sizeof(WCHAR);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, title, bytes);

  SIZE units{};
  SIZE pixels{};
  if (DialogTemplateSize(dialogId_, units)) {
    const LONG base = GetDialogBaseUnits();
    pixels.cx = MulDiv(units.cx, LOWORD(base), 4);
    pixels.cy = MulDiv(units.cy, HIWORD(base), 8);
  }
  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = copy;
  info->size = pixels;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 1) {
    if (!objects || !objects[0]) return E_POINTER;
    const HRESULT result = OnConnect(objects[0]);
    objectSet_ = SUCCEEDED(result);
    return result;
  }
  if (count == 0) {
    objectSet_ = false;
    return OnDisconnect();
  }
  return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Show(UINT command) {
  if (!window_) return E_UNEXPECTED;
  if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE) return E_INVALIDARG;
  ShowWindow(window_, static_cast<int>(command));
  InvalidateRect(window_, nullptr, TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!window_) return E_UNEXPECTED;
  MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
             TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::IsPageDirty() {
  return dirty_ ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Apply() {
  if (!objectSet_ || !site_) return E_UNEXPECTED;
  if (!dirty_) return S_OK;
  const HRESULT result = OnApplyChanges();
  if (SUCCEEDED(result)) dirty_ = false;
  return result;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::Help(LPCOLESTR) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CBasePropertyPage::TranslateAccelerator(MSG*) {
  return E_NOTIMPL;
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

INT_PTR CALLBACK CBasePropertyPage::DialogProcedure(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
  CBasePropertyPage* page = nullptr;
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    page = reinterpret_cast<CBasePropertyPage*>(lParam);
    if (!page) return TRUE;
    page->window_ = window;
  } else {
    page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!page) return FALSE;
  const INT_PTR handled = page->OnReceiveMessage(window, message, wParam, lParam);
  return message == WM_INITDIALOG ? TRUE : handled;
}

}  // namespace halvaris::dshow
