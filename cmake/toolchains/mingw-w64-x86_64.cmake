# Cross build for 64-bit Windows with Debian's mingw-w64, tests run under Wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
#         -DVANTOR_WINDOWS_DEPS=<prefix of scripts/cross-build-windows-deps.sh> ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix variant: the -win32 one of GCC 12 has no std::thread or std::mutex.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-ar CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-ranlib CACHE FILEPATH "")

# Everything linked in, so a program runs without mingw's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# The codecs, GoogleTest and the headers the cross build uses live in one prefix;
# nothing of the Linux /usr may reach the mingw compiler.
set(VANTOR_WINDOWS_DEPS "$ENV{VANTOR_WINDOWS_DEPS}" CACHE PATH
  "Prefix built by scripts/cross-build-windows-deps.sh")
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOR_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VANTOR_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(VANTOR_WINDOWS_DEPS)
  # pkg-config sees the prefix's .pc files only, with their static libraries.
  set(ENV{PKG_CONFIG_LIBDIR} "${VANTOR_WINDOWS_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
  set(PKG_CONFIG_ARGN --static)
endif()

# Test programs (and GoogleTest's listing of their tests) run under Wine.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR
  ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh ABSOLUTE)
