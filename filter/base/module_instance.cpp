#include "base/module_instance.h"

namespace halvaris::dshow {
namespace {

HINSTANCE recordedInstance = nullptr;

}  // namespace

HINSTANCE ModuleInstance() {
  if (recordedInstance) return recordedInstance;
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&recordedInstance), &self);
  return self;
}

void SetModuleInstance(HINSTANCE instance) {
  recordedInstance = instance;
}

}  // namespace halvaris::dshow
