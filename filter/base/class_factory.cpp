#include "base/class_factory.h"

#include <new>

namespace halvaris::dshow {
namespace {

// Counted as a module object, so DllCanUnloadNow says no while a host holds a factory.
class ClassFactory : public CUnknown, public IClassFactory {
 public:
  explicit ClassFactory(const FactoryTemplate* entry) : CUnknown(nullptr), entry_(entry) {}

  HALVARIS_DELEGATING_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IClassFactory)) {
      return GetInterface(static_cast<IClassFactory*>(this), object);
    }
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    // An aggregated object can only hand its inner unknown to the outer one.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    HRESULT result = S_OK;
    CUnknown* created = entry_->create(outer, &result);
    if (!created) return FAILED(result) ? result : E_OUTOFMEMORY;
    created->NonDelegatingAddRef();
    result = created->NonDelegatingQueryInterface(iid, object);
    created->NonDelegatingRelease();
    return result;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    ChangeModuleLockCount(lock != FALSE);
    return S_OK;
  }

 private:
  const FactoryTemplate* entry_;
};

}  // namespace

HRESULT BaseDllGetClassObject(const FactoryTable& table, REFCLSID clsid, REFIID iid,
                              void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  for (int i = 0; i < table.count; ++i) {
    const FactoryTemplate& entry = table.entries[i];
    if (!IsEqualCLSID(*entry.clsid, clsid)) continue;
    auto* factory = new (std::nothrow) ClassFactory(&entry);
    if (!factory) return E_OUTOFMEMORY;
    factory->NonDelegatingAddRef();
    const HRESULT result = factory->NonDelegatingQueryInterface(iid, object);
    factory->NonDelegatingRelease();
    return result;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT BaseDllCanUnloadNow() {
  return ModuleObjectCount() == 0 && ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

}  // namespace halvaris::dshow
