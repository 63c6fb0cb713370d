// A stand-in for a DirectShow host: loads the decoder module, makes a filter and asks its input
// pin whether it takes "dvh1" video. Exit code 0: accepted, 1: refused, 2: something else failed.
// The host test looks at this program's own file name (its start-up title), so it is built under
// names that do and do not match the refused hosts.
//
//   probe MODULE.ax

#include <windows.h>
#define NO_DSHOW_STRSAFE
#include <dshow.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 2;
  int exitCode = 2;
  HMODULE module = LoadLibraryA(argv[1]);
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto getClassObject = module ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
                                     GetProcAddress(module, "DllGetClassObject")))
                               : nullptr;
  const CLSID decoder = {
      0x8B498501, 0x1218, 0x11CF, {0xAD, 0xC4, 0x00, 0xA0, 0xD1, 0x00, 0x04, 0x1B}};
  IClassFactory* factory = nullptr;
  IBaseFilter* filter = nullptr;
  IPin* input = nullptr;
  if (getClassObject &&
      SUCCEEDED(getClassObject(decoder, IID_IClassFactory, reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(
          factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter))) &&
      SUCCEEDED(filter->FindPin(L"XForm In", &input))) {
    VIDEOINFOHEADER header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = 1280;
    header.bmiHeader.biHeight = 1080;
    header.bmiHeader.biCompression = 0x31687664;  // "dvh1"
    header.bmiHeader.biSizeImage = 480000;
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.formattype = FORMAT_VideoInfo;
    type.cbFormat = sizeof(header);
    type.pbFormat = reinterpret_cast<BYTE*>(&header);
    exitCode = input->QueryAccept(&type) == S_OK ? 0 : 1;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  std::printf("title: %s\n", startup.lpTitle ? startup.lpTitle : "(none)");
  if (input) input->Release();
  if (filter) filter->Release();
  if (factory) factory->Release();
  CoUninitialize();
  return exitCode;
}
