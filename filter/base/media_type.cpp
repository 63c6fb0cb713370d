#include "base/media_type.h"

#include <cstring>

namespace halvaris::dshow {

void FreeMediaType(AM_MEDIA_TYPE& type) {
  if (type.cbFormat != 0 || type.pbFormat) CoTaskMemFree(type.pbFormat);
  type.cbFormat = 0;
  type.pbFormat = nullptr;
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (!target || !source) return E_POINTER;
  *target = *source;
  if (source->cbFormat != 0 && source->pbFormat) {
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    target->cbFormat = 0;
    target->pbFormat = nullptr;
  }
  if (target->pUnk) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return nullptr;
  if (FAILED(CopyMediaType(type, source))) {
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE{} {}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} {
  Set(other);
}

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} {
  Set(other);
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
  Set(other);
  return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
  Set(other);
  return *this;
}

CMediaType::~CMediaType() {
  FreeMediaType(*this);
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& other) {
  if (&other == this) return S_OK;
  Clear();
  const HRESULT result = CopyMediaType(this, &other);
  if (FAILED(result)) Clear();
  return result;
}

void CMediaType::Clear() {
  FreeMediaType(*this);
  static_cast<AM_MEDIA_TYPE&>(*this) = AM_MEDIA_TYPE{};
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

BYTE* CMediaType::AllocFormatBuffer(ULONG size) {
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(size == 0 ? 1 : size));
  if (!block) return nullptr;
  std::memset(block, 0, size);
  if (pbFormat) CoTaskMemFree(pbFormat);
  pbFormat = block;
  cbFormat = size;
  return block;
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE& partial) const {
  if (!IsEqualGUID(partial.majortype, GUID_NULL) && !IsEqualGUID(partial.majortype, majortype)) {
    return false;
  }
  if (!IsEqualGUID(partial.subtype, GUID_NULL) && !IsEqualGUID(partial.subtype, subtype)) {
    return false;
  }
  if (!IsEqualGUID(partial.formattype, GUID_NULL)) {
    if (!IsEqualGUID(partial.formattype, formattype) || partial.cbFormat != cbFormat) return false;
    // A caller's type may give a block size without the block.
    if (cbFormat != 0 && (!partial.pbFormat || !pbFormat ||
                          std::memcmp(partial.pbFormat, pbFormat, cbFormat) != 0)) {
      return false;
    }
  }
  return true;
}

}  // namespace halvaris::dshow
