#include "decoder_filter.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>

#include "decoder_setup.h"

namespace halvaris::filter {
namespace {

// Seconds as 100 ns units, truncated toward zero. Values beyond the 64-bit range saturate and NaN
// counts as 0: a plain conversion of those is undefined, and callers hand us what they like.
LONGLONG SecondsToReferenceTime(double seconds) {
  const double units = seconds * 10000000.0;
  if (std::isnan(units)) return 0;
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (units >= kLimit) return std::numeric_limits<LONGLONG>::max();
  if (units <= -kLimit) return std::numeric_limits<LONGLONG>::min();
  return static_cast<LONGLONG>(units);
}

// A profile value of the "Quartz" section in seconds, as 100 ns units.
LONGLONG ReadProfileSeconds(const char* key, const char* fallback) {
  char text[60];
  GetProfileStringA("Quartz", key, fallback, text, sizeof(text));
  return SecondsToReferenceTime(std::atof(text));
}

}  // namespace

dshow::CUnknown* DecoderFilter::CreateInstance(IUnknown* outer, HRESULT* result) {
  auto* filter = new (std::nothrow) DecoderFilter(outer);
  if (!filter && result) *result = E_OUTOFMEMORY;
  return filter;
}

DecoderFilter::DecoderFilter(IUnknown* outer)
    : CTransformFilter(outer, kDecoderFilterClsid),
      effectStart(ReadProfileSeconds("EffectStart", "2.0")),
      effectLength(ReadProfileSeconds("EffectLength", "5.0")) {}

DecoderFilter::~DecoderFilter() = default;

HRESULT STDMETHODCALLTYPE DecoderFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, kEffectSettingsIid)) {
    return dshow::GetInterface(static_cast<IEffectSettings*>(this), object);
  }
  if (IsEqualIID(iid, IID_ISpecifyPropertyPages)) {
    return dshow::GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  }
  return CTransformFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT STDMETHODCALLTYPE DecoderFilter::GetEffectSettings(int* number, double* start,
                                                           double* length) {
  std::lock_guard<win32::CriticalSection> guard(effectLock);
  if (!number || !start || !length) return E_POINTER;
  *number = effectNumber;
  *start = static_cast<double>(effectStart) * 1e-7;
  *length = static_cast<double>(effectLength) * 1e-7;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DecoderFilter::SetEffectSettings(int number, double start,
                                                           double length) {
  std::lock_guard<win32::CriticalSection> guard(effectLock);
  effectNumber = number;
  effectStart = SecondsToReferenceTime(start);
  effectLength = SecondsToReferenceTime(length);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DecoderFilter::GetPages(CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems) {
    // No array to hand out, so no count either: a caller must not index what is not there.
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->cElems = 1;
  pages->pElems[0] = kDecoderPropertyPageClsid;
  return S_OK;
}

HalvarisDecoder* DecoderFilter::Decoder() {
  const int workers = CurrentWorkerCount();
  if (decoder && halvaris_decoder_worker_count(decoder.get()) == workers) return decoder.get();
  decoder.reset();
  decoder = MakeFilterDecoder(workers);
  return decoder.get();
}

}  // namespace halvaris::filter
