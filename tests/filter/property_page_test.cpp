// The about page: its dialog resource, its connection to the filter and its button.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "decoder_property_page.h"
#include "decoder_resources.h"
#include "filter_test_support.h"

namespace halvaris::filter::testing {
namespace {

using win32::ComPtr;

ComPtr<IPropertyPage> MakePage() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(dshow::BaseDllGetClassObject(DecoderFactoryTable(), kDecoderPropertyPageClsid,
                                         IID_IClassFactory, factory.PutVoid()),
            S_OK);
  ComPtr<IPropertyPage> page;
  if (factory) {
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid()), S_OK);
  }
  return page;
}

DecoderPropertyPage& PageObject(IPropertyPage* page) {
  return static_cast<DecoderPropertyPage&>(*static_cast<dshow::CBasePropertyPage*>(page));
}

// Counts what the page tells its site.
class PageSite : public IPropertyPageSite {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite)) {
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD) override {
    ++statusChanges;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* locale) override {
    *locale = 0x0409;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** container) override {
    *container = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

  int statusChanges = 0;
};

// Reads a dialog template (the DIALOG form) the way the dialog manager does.
struct DialogItem {
  DWORD style;
  short x, y, cx, cy;
  WORD id;
  WORD windowClass;  // predefined class atom
  std::wstring text;
};
struct Dialog {
  DWORD style;
  short cx, cy;
  WORD pointSize;
  std::wstring font;
  std::wstring caption;
  std::vector<DialogItem> items;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* bytes) : bytes_(bytes) {}
  template <class T>
  T Read() {
    T value;
    std::memcpy(&value, bytes_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  std::wstring String() {
    std::wstring text;
    for (WORD c = Read<WORD>(); c != 0; c = Read<WORD>()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  void AlignToDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }

 private:
  const BYTE* bytes_;
  size_t offset_ = 0;
};

Dialog ReadDialog(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
  EXPECT_NE(found, nullptr);
  TemplateReader reader(static_cast<const BYTE*>(LockResource(LoadResource(module, found))));
  Dialog dialog{};
  dialog.style = reader.Read<DWORD>();
  reader.Read<DWORD>();  // extended style
  const WORD count = reader.Read<WORD>();
  reader.Read<short>();
  reader.Read<short>();
  dialog.cx = reader.Read<short>();
  dialog.cy = reader.Read<short>();
  EXPECT_EQ(reader.Read<WORD>(), 0);  // no menu
  EXPECT_EQ(reader.Read<WORD>(), 0);  // the standard dialog class
  dialog.caption = reader.String();
  dialog.pointSize = reader.Read<WORD>();
  dialog.font = reader.String();
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword();
    DialogItem item{};
    item.style = reader.Read<DWORD>();
    reader.Read<DWORD>();
    item.x = reader.Read<short>();
    item.y = reader.Read<short>();
    item.cx = reader.Read<short>();
    item.cy = reader.Read<short>();
    item.id = reader.Read<WORD>();
    EXPECT_EQ(reader.Read<WORD>(), 0xFFFF);
    item.windowClass = reader.Read<WORD>();
    item.text = reader.String();
    reader.Read<WORD>();  // creation data
    dialog.items.push_back(item);
  }
  return dialog;
}

TEST(PropertyPageTest, DialogResourceHoldsTheTextAndTheButton) {
  const Dialog dialog = ReadDialog(IDD_DECODER_PAGE);
  EXPECT_EQ(dialog.style, 0x40000040u);
  EXPECT_EQ(dialog.cx, 215);
  EXPECT_EQ(dialog.cy, 120);
  EXPECT_EQ(dialog.caption, L"");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.font, L"MS Shell Dlg");
  ASSERT_EQ(dialog.items.size(), 2u);

  const DialogItem& text = dialog.items[0];
  EXPECT_EQ(text.windowClass, 0x0082);  // static
  EXPECT_EQ(text.id, 0xFFFF);
  EXPECT_EQ(text.style, 0x50020000u);
  EXPECT_EQ(text.x, 16);
  EXPECT_EQ(text.y, 13);
  EXPECT_EQ(text.cx, 136);
  EXPECT_EQ(text.cy, 37);
  EXPECT_EQ(text.text, L"Halvaris Decoder 1.02\r\rFor help and licensing go to");

  const DialogItem& button = dialog.items[1];
  EXPECT_EQ(button.windowClass, 0x0080);  // button
  EXPECT_EQ(button.id, IDC_WEB_PAGE_BUTTON);
  EXPECT_EQ(button.style, 0x50010000u);
  EXPECT_EQ(button.x, 15);
  EXPECT_EQ(button.y, 56);
  EXPECT_EQ(button.cx, 133);
  EXPECT_EQ(button.cy, 14);
  EXPECT_EQ(button.text, L"www.halvaris.com/decoder");
}

TEST(PropertyPageTest, PageInfoHasTheTitleAndTheDialogSize) {
  ComPtr<IPropertyPage> page = MakePage();
  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"Halvaris");
  const LONG units = GetDialogBaseUnits();
  EXPECT_EQ(info.size.cx, MulDiv(215, LOWORD(units), 4));
  EXPECT_EQ(info.size.cy, MulDiv(120, HIWORD(units), 8));
  CoTaskMemFree(info.pszTitle);
}

TEST(PropertyPageTest, ConnectsOnlyToObjectsWithEffectSettings) {
  ComPtr<IPropertyPage> page = MakePage();
  SourceInstance notAFilterOfOurs = MakeSource(dshow::CMediaType());
  IUnknown* wrong = notAFilterOfOurs.filter.Get();
  EXPECT_EQ(page->SetObjects(1, &wrong), E_NOINTERFACE);
  EXPECT_FALSE(PageObject(page.Get()).IsConnected());
  EXPECT_EQ(page->SetObjects(0, nullptr), E_UNEXPECTED);

  DecoderInstance decoder = MakeDecoder();
  IUnknown* right = decoder.filter.Get();
  EXPECT_EQ(page->SetObjects(1, &right), S_OK);
  EXPECT_TRUE(PageObject(page.Get()).IsConnected());
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_FALSE(PageObject(page.Get()).IsConnected());
}

TEST(PropertyPageTest, ButtonOpensTheWebPageAndNothingEverMakesThePageDirty) {
  UserInterfaceRecorder recorder;
  ComPtr<IPropertyPage> page = MakePage();
  PageSite site;
  ASSERT_EQ(page->SetPageSite(&site), S_OK);
  DecoderInstance decoder = MakeDecoder();
  IUnknown* filter = decoder.filter.Get();
  ASSERT_EQ(page->SetObjects(1, &filter), S_OK);

  DecoderPropertyPage& object = PageObject(page.Get());
  EXPECT_EQ(object.OnReceiveMessage(nullptr, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0), TRUE);
  EXPECT_TRUE(recorder.OpenedAddresses().empty());
  EXPECT_EQ(
      object.OnReceiveMessage(nullptr, WM_COMMAND, MAKEWPARAM(IDC_WEB_PAGE_BUTTON, BN_CLICKED), 0),
      TRUE);
  ASSERT_EQ(recorder.OpenedAddresses().size(), 1u);
  EXPECT_EQ(recorder.OpenedAddresses()[0], "https://www.halvaris.com/decoder");

  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(page->Help(nullptr), E_NOTIMPL);
  EXPECT_EQ(page->TranslateAccelerator(nullptr), E_NOTIMPL);
  EXPECT_EQ(site.statusChanges, 0);
  EXPECT_TRUE(recorder.Messages().empty());
  EXPECT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(page->SetPageSite(nullptr), S_OK);
}

TEST(PropertyPageTest, ActivatedPageShowsTheDialogAndItsButtonWorks) {
  UserInterfaceRecorder recorder;
  ComPtr<IPropertyPage> page = MakePage();
  // On the display run, a desktop of our own: the prefix's default desktop may have been set up
  // without a display by earlier programs of the same test run.
  HDESK desktop = nullptr;
  if (std::getenv("HALVARIS_REQUIRE_DISPLAY") != nullptr) {
    desktop = CreateDesktopA("halvaris-page-test", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(desktop, nullptr);
    ASSERT_TRUE(SetThreadDesktop(desktop));
  }
  // The page is a child dialog: it needs a frame window, which Wine without a display lacks.
  const HWND frame = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                     nullptr, nullptr);
  if (!frame) {
    ASSERT_EQ(std::getenv("HALVARIS_REQUIRE_DISPLAY"), nullptr) << "no window on the display";
    GTEST_SKIP() << "no display to create windows on";
  }
  const RECT area{0, 0, 400, 300};
  ASSERT_EQ(page->Activate(frame, &area, FALSE), S_OK);
  const HWND window = PageObject(page.Get()).Window();
  ASSERT_NE(window, nullptr);
  const HWND button = GetDlgItem(window, IDC_WEB_PAGE_BUTTON);
  ASSERT_NE(button, nullptr);
  char label[64] = {};
  GetWindowTextA(button, label, sizeof(label));
  EXPECT_STREQ(label, "www.halvaris.com/decoder");
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_WEB_PAGE_BUTTON, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  EXPECT_EQ(recorder.OpenedAddresses().size(), 1u);
  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_EQ(PageObject(page.Get()).Window(), nullptr);
  DestroyWindow(frame);
  if (desktop != nullptr) CloseDesktop(desktop);
}

}  // namespace
}  // namespace halvaris::filter::testing
