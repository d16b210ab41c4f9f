# Cross-compiling for 64-bit Windows with Debian's MinGW-w64, the POSIX thread model (std::thread
# and std::mutex work) and everything linked statically, so the programs import system DLLs only.
#
# Libraries built for Windows by scripts/build-windows-deps.sh are found in VESICLAR_WINDOWS_PREFIX
# (default: deps/prefix in the build folder); nothing is ever taken from the host's own libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

if(NOT VESICLAR_WINDOWS_PREFIX)
  set(VESICLAR_WINDOWS_PREFIX ${CMAKE_BINARY_DIR}/deps/prefix)
endif()
# try_compile projects load this file again and need the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VESICLAR_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH ${VESICLAR_WINDOWS_PREFIX} /usr/${triple})
list(APPEND CMAKE_PREFIX_PATH ${VESICLAR_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config answers for the Windows libraries, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${VESICLAR_WINDOWS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
