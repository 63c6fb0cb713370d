#include "base/unknown.h"

#include <climits>

namespace halvaris::dshow {
namespace {

std::atomic<long> objectCount{0};
std::atomic<long> lockCount{0};

}  // namespace

CUnknown::CUnknown(IUnknown* outer)
    : owner_(outer ? outer
                   : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))) {
  ++objectCount;
}

CUnknown::~CUnknown() {
  --objectCount;
}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    // The inner unknown, even when aggregated: the outer object keeps this one to control us.
    return GetInterface(reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)),
                        object);
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
  return static_cast<ULONG>(++references_);
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
  const long remaining = --references_;
  if (remaining == 0) {
    // A destructor that hands out and drops a temporary reference must not delete us twice.
    references_ = LONG_MAX / 2;
    delete this;
    return 0;
  }
  return static_cast<ULONG>(remaining > 0 ? remaining : 0);
}

HRESULT GetInterface(IUnknown* unknown, void** object) {
  if (!object) return E_POINTER;
  *object = unknown;
  unknown->AddRef();
  return S_OK;
}

long ModuleObjectCount() {
  return objectCount;
}
long ModuleLockCount() {
  return lockCount;
}
void ChangeModuleLockCount(bool lock) {
  if (lock) {
    ++lockCount;
  } else {
    --lockCount;
  }
}

}  // namespace halvaris::dshow
