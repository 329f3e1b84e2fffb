# The Windows cross build (mingw-w64, cmake/toolchains/): Debian has no Qt for
# mingw, so only the Qt-free part of the tree is configured — the process log, the
# capture library, the devices, the encoders and the pipeline, the NVENC wrapper,
# the socket helpers and media framing — with the tests in tests/windows, which
# run under Wine. Included by the top-level CMakeLists.txt instead of the rest of
# it; the Qt-based folders keep their Windows branches for a native build.
set(CMAKE_AUTOMOC OFF)
set(CMAKE_AUTOUIC OFF)

find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
# The static FFmpeg of scripts/cross-build-windows-deps.sh: no libavformat there,
# nothing on this side of the tree reads or writes containers.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavcodec libavutil libswscale libswresample)
pkg_check_modules(FFNVCODEC REQUIRED IMPORTED_TARGET ffnvcodec)
find_path(LIBYUV_INCLUDE_DIR libyuv.h REQUIRED)
find_library(LIBYUV_LIBRARY yuv REQUIRED)

add_compile_definitions(
  ELPP_THREAD_SAFE
  ELPP_STL_LOGGING
  ELPP_NO_CHECK_MACROS
  ELPP_DISABLE_DEFAULT_CRASH_HANDLING
  ELPP_DEFAULT_LOG_FILE="app.log"
  # Windows 10 APIs (DXGI 1.5 duplication, WASAPI), no min/max macros from windows.h.
  _WIN32_WINNT=0x0A00
  WINVER=0x0A00
  NOMINMAX)
include_directories(${CMAKE_SOURCE_DIR})

add_subdirectory(Comm)           # the log only (Comm/CMakeLists.txt stops after it)
add_subdirectory(src/transport)  # socket helpers and framing only
add_subdirectory(libcapture)

option(VANTOR_BUILD_TESTS "Build the tests" ON)
if(VANTOR_BUILD_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  # Listing a program's tests runs it under Wine: at test time, not at build time.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
  add_subdirectory(tests/windows)
endif()
