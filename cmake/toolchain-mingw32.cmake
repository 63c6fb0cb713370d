# 32-bit Windows (i686) with mingw-w64, for the modules that 32-bit hosts load. Our machines cannot
# run 32-bit code (the kernel has no 32-bit support, so neither can Wine): this build makes no
# tests, and `make test` checks its modules statically (tests/windows_x86/check_modules.sh).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime, as in the 64-bit build: no libstdc++, libgcc or winpthread DLL to ship.
# The default code is for any i686 processor; only the SSE2 kernels are built for SSE2 and chosen
# at run time, so that the modules load and can tell a processor without SSE2 what is missing.
# (GCC realigns the stack in functions that keep SSE2 values on it: 32-bit Windows promises only
# 4-byte alignment.) --enable-stdcall-fixup: the .def files name the COM exports without their
# stdcall decoration (DllRegisterServer for _DllRegisterServer@0), which is what callers look up.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--enable-stdcall-fixup")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -Wl,--enable-stdcall-fixup")
