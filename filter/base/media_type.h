#pragma once

// AM_MEDIA_TYPE with value semantics: copies own their format block (CoTaskMemAlloc'd, as COM
// callers expect) and a reference to the optional format object.

#define NO_DSHOW_STRSAFE
#include <dshow.h>

#include <memory>

namespace halvaris::dshow {

void FreeMediaType(AM_MEDIA_TYPE& type);
// Frees a type that came from CreateMediaType or from another object (the structure itself too).
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Deep copy into `target`, which must hold nothing that needs freeing.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// Deep copy in memory from CoTaskMemAlloc, for handing out through COM; nullptr when out of memory.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

struct MediaTypeDeleter {
  void operator()(AM_MEDIA_TYPE* type) const { DeleteMediaType(type); }
};
// A type handed to us by another object (IMediaSample::GetMediaType, IEnumMediaTypes::Next).
using UniqueMediaType = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const AM_MEDIA_TYPE& other);
  CMediaType(const CMediaType& other);
  CMediaType& operator=(const CMediaType& other);
  CMediaType& operator=(const AM_MEDIA_TYPE& other);
  ~CMediaType();

  // Deep copy; E_OUTOFMEMORY leaves this type empty.
  HRESULT Set(const AM_MEDIA_TYPE& other);
  // Back to the all-zero type.
  void Clear();

  void SetType(const GUID& type) { majortype = type; }
  void SetSubtype(const GUID& type) { subtype = type; }
  void SetFormatType(const GUID& type) { formattype = type; }
  void SetSampleSize(ULONG size);
  void SetVariableSize() { bFixedSizeSamples = FALSE; }
  void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

  // Replaces the format block with `size` zero bytes; nullptr when out of memory.
  BYTE* AllocFormatBuffer(ULONG size);
  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }

  bool IsValid() const { return !IsEqualGUID(majortype, GUID_NULL); }
  // True when every field that `partial` specifies (not GUID_NULL) equals ours.
  bool MatchesPartial(const AM_MEDIA_TYPE& partial) const;
};

}  // namespace halvaris::dshow
