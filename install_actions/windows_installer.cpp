#include "windows_installer.h"

#include <msi.h>

namespace halvaris::install {
namespace {

// The library's export ordinals for MsiEnumRelatedProductsA and MsiGetComponentPathA, which
// have stayed fixed across Windows Installer versions.
constexpr WORD enumRelatedProductsOrdinal = 204;
constexpr WORD getComponentPathOrdinal = 172;

}  // namespace

// Only the system's copy: an installer's folder is no place to pick up a library from.
WindowsInstaller::WindowsInstaller()
    : module_(LoadLibraryExA("msi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)),
      enumRelatedProducts_(module_.Export<EnumRelatedProductsFunction>(
          MAKEINTRESOURCEA(enumRelatedProductsOrdinal))),
      getComponentPath_(
          module_.Export<GetComponentPathFunction>(MAKEINTRESOURCEA(getComponentPathOrdinal))) {}

UINT WindowsInstaller::EnumRelatedProducts(const char* upgradeCode, DWORD reserved,
                                           DWORD productIndex, char* productCode) const {
  if (enumRelatedProducts_ == nullptr) return ERROR_INVALID_FUNCTION;
  return enumRelatedProducts_(upgradeCode, reserved, productIndex, productCode);
}

INT WindowsInstaller::GetComponentPath(const char* productCode, const char* componentCode,
                                       char* path, DWORD* size) const {
  if (getComponentPath_ == nullptr) return INSTALLSTATE_UNKNOWN;
  return getComponentPath_(productCode, componentCode, path, size);
}

}  // namespace halvaris::install
