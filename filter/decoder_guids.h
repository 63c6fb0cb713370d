#pragma once

// Class and interface identifiers of the decoder module.

#include <unknwn.h>
#include <windows.h>

namespace halvaris::filter {

inline constexpr CLSID kDecoderFilterClsid = {
    0x8B498501, 0x1218, 0x11CF, {0xAD, 0xC4, 0x00, 0xA0, 0xD1, 0x00, 0x04, 0x1B}};
inline constexpr CLSID kDecoderPropertyPageClsid = {
    0x8B498502, 0x1218, 0x11CF, {0xAD, 0xC4, 0x00, 0xA0, 0xD1, 0x00, 0x04, 0x1B}};
inline constexpr IID kEffectSettingsIid = {
    0xFD5010A3, 0x8EBE, 0x11CE, {0x81, 0x83, 0x00, 0xAA, 0x00, 0x57, 0x7D, 0xA1}};

// The FourCCs of the compressed input and the picture output, as they appear in biCompression.
inline constexpr DWORD kDvh1FourCC = 0x31687664;
inline constexpr DWORD kYuy2FourCC = 0x32595559;

}  // namespace halvaris::filter

// The filter's settings interface: an effect number, start and length kept for the host.
struct IEffectSettings : public IUnknown {
  // Start and length in seconds.
  virtual HRESULT STDMETHODCALLTYPE GetEffectSettings(int* number, double* start,
                                                      double* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEffectSettings(int number, double start, double length) = 0;
};
__CRT_UUID_DECL(IEffectSettings, 0xFD5010A3, 0x8EBE, 0x11CE, 0x81, 0x83, 0x00, 0xAA, 0x00, 0x57,
                0x7D, 0xA1)
