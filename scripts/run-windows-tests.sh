#!/usr/bin/env bash
# The Windows leg, by itself: installs the cross toolchain and Wine, cross-builds
# the codecs (cached, see cross-build-windows-deps.sh), builds the Qt-free part of
# the tree into build-win with mingw-w64 and runs its tests under Wine, beside a
# private Xvfb and PulseAudio, the end-to-end cast to the Linux receiver included
# (which needs the Linux build's vantor-receiver and checkrecording in build/bin:
# built here when missing). Ends with CTest's summary; non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# How long each step took, on standard error (CTest's own summary ends the output).
stage_start=$SECONDS
stage() {
  echo "windows leg: $1: $((SECONDS - stage_start)) s" >&2
  stage_start=$SECONDS
}

packages=(
  # the cross toolchain (GCC 12 with -posix threads only: the -win32 variant
  # has no std::thread) and the assembler x264 needs
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix nasm cmake make pkg-config
  # sources of the cross-built libraries and headers copied into their prefix
  dpkg-dev googletest libffmpeg-nvenc-dev libeasyloggingpp-dev
  # running the tests: Wine, an X server for Direct3D, a sound server for WASAPI
  wine wine64 xvfb x11-xserver-utils pulseaudio pulseaudio-utils perl procps
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 \
    install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

stage "packages"

prefix=$(bash scripts/cross-build-windows-deps.sh)
stage "codecs (cross-build-windows-deps.sh)"

# The Linux end of the end-to-end cast.
linux_bin=$root/build/bin
if [ ! -x "$linux_bin/vantor-receiver" ] || [ ! -x "$linux_bin/checkrecording" ]; then
  bash scripts/install-deps.sh
  [ -f build/CMakeCache.txt ] ||
    flock /tmp/vantor-build.lock cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  flock /tmp/vantor-build.lock cmake --build build -j 2 --target vantor-receiver checkrecording
  stage "Linux receiver"
fi

# New codecs (another prefix): what the last configure found there is stale.
if [ -f build-win/CMakeCache.txt ] &&
  ! grep -qxF "VANTOR_WINDOWS_DEPS:PATH=$prefix" build-win/CMakeCache.txt; then
  rm -rf build-win/CMakeCache.txt build-win/CMakeFiles
fi
flock /tmp/vantor-build.lock cmake -S . -B build-win \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DVANTOR_WINDOWS_DEPS="$prefix" -DVANTOR_LINUX_BIN_DIR="$linux_bin" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
flock /tmp/vantor-build.lock cmake --build build-win -j 2
stage "build-win"

# X server, sound server and Wine prefix are private to this run; the e2e lock
# keeps other runs off the casting ports and the displays meanwhile. A test that
# hangs is ended by its own time-out (120 s, tests/windows/CMakeLists.txt); the
# whole run is bounded too, should Wine itself hang. No tests found is an error.
failed_list=build-win/Testing/Temporary/LastTestsFailed.log
rm -f "$failed_list"
status=0
flock /tmp/vantor-e2e.lock \
  timeout --kill-after=30 1200 \
  tests/screencapture/run_with_xvfb.sh 1 \
  tests/audiodevices/with-pulseaudio.sh \
  scripts/wine-session.sh build-win \
  ctest --test-dir build-win --output-on-failure --timeout 300 --no-tests=error ||
  status=$?
# CTest's own list of failures, checked apart from the exit status that the
# wrappers above pass on: a failed test fails this script whatever they do.
if [ "$status" -eq 0 ] && [ -s "$failed_list" ]; then
  echo "run-windows-tests.sh: CTest listed failed tests:" >&2
  cat "$failed_list" >&2
  status=1
fi
exit "$status"
