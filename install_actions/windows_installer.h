// The two Windows Installer queries that find the editor's editions. msi.dll is loaded only when
// they are needed: loading it is not free (under Wine it starts helper processes), and the other
// actions have no use for it.
#pragma once

#include <windows.h>

#include "win32_owners.h"

namespace halvaris::install {

class WindowsInstaller {
 public:
  WindowsInstaller();

  // MsiEnumRelatedProductsA; ERROR_INVALID_FUNCTION when msi.dll is not available.
  UINT EnumRelatedProducts(const char* upgradeCode, DWORD reserved, DWORD productIndex,
                           char* productCode) const;
  // MsiGetComponentPathA; INSTALLSTATE_UNKNOWN when msi.dll is not available.
  INT GetComponentPath(const char* productCode, const char* componentCode, char* path,
                       DWORD* size) const;

 private:
  using EnumRelatedProductsFunction = UINT(WINAPI*)(const char*, DWORD, DWORD, char*);
  using GetComponentPathFunction = INT(WINAPI*)(const char*, const char*, char*, DWORD*);

  win32::LoadedModule module_;
  EnumRelatedProductsFunction enumRelatedProducts_ = nullptr;
  GetComponentPathFunction getComponentPath_ = nullptr;
};

}  // namespace halvaris::install
