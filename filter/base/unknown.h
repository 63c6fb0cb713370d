#pragma once

// The COM identity of every object in the module: a reference-counted IUnknown that can be
// aggregated, and the module-wide counts that decide whether the module may be unloaded.

#include <unknwn.h>
#include <windows.h>

#include <atomic>

namespace halvaris::dshow {

// The inner IUnknown of an aggregatable object. Its vtable has the layout of IUnknown, so an outer
// object can hold it as an IUnknown*; its methods never delegate to the outer object.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

// Base of all COM objects of the module. With an outer unknown the object's IUnknown methods
// (the delegating ones, see HALVARIS_DELEGATING_IUNKNOWN) go to the outer object; without one they
// go to the object's own non-delegating implementation.
class CUnknown : public INonDelegatingUnknown {
 public:
  explicit CUnknown(IUnknown* outer);
  virtual ~CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  IUnknown* GetOwner() const { return owner_; }

  // Answers IUnknown only; derived classes add their interfaces and end with this.
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

 private:
  IUnknown* owner_;
  std::atomic<long> references_{0};
};

// Hands out `unknown` through an out pointer, with a new reference.
HRESULT GetInterface(IUnknown* unknown, void** object);

// Objects alive in the module and outstanding IClassFactory::LockServer locks.
long ModuleObjectCount();
long ModuleLockCount();
void ChangeModuleLockCount(bool lock);

}  // namespace halvaris::dshow

// The public IUnknown methods of a class derived from CUnknown: everything goes to the owner.
#define HALVARIS_DELEGATING_IUNKNOWN                                             \
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override { \
    return GetOwner()->QueryInterface(iid, object);                              \
  }                                                                              \
  ULONG STDMETHODCALLTYPE AddRef() override {                                    \
    return GetOwner()->AddRef();                                                 \
  }                                                                              \
  ULONG STDMETHODCALLTYPE Release() override {                                   \
    return GetOwner()->Release();                                                \
  }
