#!/usr/bin/env bash
# Cross-builds what the Windows build links and no Debian package carries for
# mingw: x264, a minimal FFmpeg (libavcodec with the libx264 and native AAC
# encoders, libswscale, libswresample, libavutil), libyuv and GoogleTest, plus the
# NVENC and easylogging++ headers, into one prefix:
#   scripts/cross-build-windows-deps.sh      prints the prefix on standard output
# The sources are Debian's own (the versions apt offers on this machine). The
# prefix is cached outside the work tree, under VANTOR_WINDOWS_DEPS_CACHE
# (default /var/cache/vantor-windows-deps), keyed by those versions, the compiler
# and this script, and reused while the key holds. Progress goes to standard error.
# Needs the packages scripts/run-windows-tests.sh installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
cache=${VANTOR_WINDOWS_DEPS_CACHE:-/var/cache/vantor-windows-deps}
host=x86_64-w64-mingw32
jobs=2

# Each line carries the seconds since this script started.
say() { echo "windows deps: [${SECONDS}s] $*" >&2; }

# The source package and version apt would install for a binary package.
source_of() {
  apt-cache show --no-all-versions "$1" 2>/dev/null | awk '
    /^Package:/ { package = $2 }
    /^Source:/ { source = $2; if ($3 != "") { version = $3; gsub(/[()]/, "", version) } }
    /^Version:/ { if (version == "") version = $2 }
    END { if (source == "") source = package; if (version != "") print source "=" version }'
}

sources=()
for binary in libx264-dev libavcodec-dev libyuv-dev; do
  entry=$(source_of "$binary")
  if [ -z "$entry" ]; then
    say "apt knows no $binary yet: updating the package lists"
    apt-get update -qq >&2
    entry=$(source_of "$binary")
  fi
  [ -n "$entry" ] || { say "no source package for $binary"; exit 1; }
  sources+=("$entry")
done
installed() { dpkg-query -W -f='${Package}=${Version}\n' "$1"; }
key_text=$(
  printf '%s\n' "${sources[@]}"
  installed googletest
  installed libffmpeg-nvenc-dev
  installed libeasyloggingpp-dev
  "$host-gcc-posix" --version | head -n 1
  sha256sum "$0" "$toolchain" | cut -d' ' -f1
)
key=$(sha256sum <<<"$key_text" | cut -c1-16)
prefix=$cache/$key

mkdir -p "$cache"
exec 8>"$cache/.lock"
flock 8  # one builder per cache; a second run waits and then reuses its prefix
if [ -f "$prefix/versions.txt" ]; then
  say "reusing $prefix"
  echo "$prefix"
  exit 0
fi

work=$cache/build-$key
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/apt/parts" "$work/src"
trap 'rm -rf "$work"' EXIT

# --- Sources -----------------------------------------------------------------
# A deb-src entry beside each of the machine's Debian entries, in a private apt
# state: the machine's own lists and sources stay untouched, and the entry is gone
# with the work directory.
{
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
      /Types:[^\n]*deb/ && /debian-archive-keyring/ {
        sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
  done
} >"$work/apt/parts/debian-src.sources"
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] || continue
  sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' "$file"
done >"$work/apt/sources.list"
apt_private=(-o "Dir::Etc::SourceList=$work/apt/sources.list"
  -o "Dir::Etc::SourceParts=$work/apt/parts" -o "Dir::State::Lists=$work/apt/lists"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  -o "APT::Sandbox::User=root")  # downloads into our root-owned work directory
say "fetching ${sources[*]}"
apt-get "${apt_private[@]}" -qq update >&2
(cd "$work/src" && apt-get "${apt_private[@]}" -qq source --download-only "${sources[@]}" >&2)
for dsc in "$work"/src/*.dsc; do
  name=$(basename "$dsc" .dsc)
  (cd "$work/src" && dpkg-source --no-check -x "$dsc" "${name%%_*}" >/dev/null)
done

# --- Build -------------------------------------------------------------------
# The machine's build lock for the whole compile: at most two jobs at a time.
exec 9>/tmp/vantor-build.lock
say "waiting for the build lock"
flock 9
mkdir -p "$prefix/include" "$prefix/lib/pkgconfig"
log=$work/build.log
step() {  # step NAME COMMAND...: runs quietly, shows the log's end on failure
  say "$1"
  shift
  if ! "$@" >>"$log.$BASHPID" 2>&1; then
    tail -n 40 "$log.$BASHPID" >&2
    return 1
  fi
}
cmake_deps=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVANTOR_WINDOWS_DEPS="$prefix"
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix")

build_x264() {
  cd "$work/src/x264"
  step "x264: configure" ./configure --host=$host --cross-prefix=$host- --prefix="$prefix" \
    --enable-static --disable-cli --disable-opencl --bit-depth=8 --chroma-format=420
  step "x264: build" make -j$jobs
  step "x264: install" make install-lib-static
}

# Only what the pipeline uses: the libx264 and native AAC encoders, scaling and
# resampling. No decoders, parsers, formats or filters (each would multiply the
# build time).
configure_ffmpeg() {
  cd "$work/src/ffmpeg"
  PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH='' step "ffmpeg: configure" \
    ./configure --prefix="$prefix" --target-os=mingw32 --arch=x86_64 --cross-prefix=$host- \
    --enable-cross-compile --pkg-config=pkg-config --pkg-config-flags=--static \
    --disable-everything --disable-programs --disable-doc --disable-network \
    --disable-autodetect --disable-debug --enable-w32threads \
    --disable-avformat --disable-avdevice --disable-avfilter --disable-postproc \
    --enable-gpl --enable-libx264 --enable-encoder=libx264,aac \
    --enable-swscale --enable-swresample --enable-static --disable-shared
}

build_libyuv() {
  cmake -S "$work/src/libyuv" -B "$work/libyuv-build" "${cmake_deps[@]}" >>"$log.yuv" 2>&1 &&
    step "libyuv: build" cmake --build "$work/libyuv-build" --target yuv -j1 &&
    cp "$work/libyuv-build/libyuv.a" "$prefix/lib/" &&
    cp -r "$work/src/libyuv/include/." "$prefix/include/"
}

build_googletest() {
  cmake -S /usr/src/googletest -B "$work/googletest-build" "${cmake_deps[@]}" >>"$log.gtest" 2>&1 &&
    step "googletest: build" cmake --build "$work/googletest-build" -j1 &&
    cmake --install "$work/googletest-build" >>"$log.gtest" 2>&1
}

(build_x264)
# FFmpeg's configure is a long single-threaded run: libyuv and GoogleTest build
# beside it, one job each.
(configure_ffmpeg) &
ffmpeg_configure=$!
(build_libyuv && build_googletest) &
others=$!
wait $ffmpeg_configure
wait $others
(cd "$work/src/ffmpeg" && step "ffmpeg: build" make -j$jobs && step "ffmpeg: install" make install)
flock -u 9

# --- Headers -----------------------------------------------------------------
# The NVENC API headers with a .pc of their own: Debian's ffnvcodec.pc says
# -I/usr/include, which must never reach mingw.
mkdir -p "$prefix/include/ffnvcodec"
cp /usr/include/ffnvcodec/*.h "$prefix/include/ffnvcodec/"
nvenc_version=$(dpkg-query -W -f='${Version}' libffmpeg-nvenc-dev | cut -d- -f1)
cat >"$prefix/lib/pkgconfig/ffnvcodec.pc" <<EOF
prefix=$prefix
includedir=\${prefix}/include

Name: ffnvcodec
Description: FFmpeg version of the NVIDIA codec API headers
Version: $nvenc_version
Cflags: -I\${includedir}
EOF
# easylogging++ ships as a header and one source file, compiled into our log.
cp /usr/include/easylogging++.h /usr/include/easylogging++.cc "$prefix/include/"

# Written last: a prefix without it is an interrupted build, made again next time.
echo "$key_text" >"$prefix/versions.txt"
say "built $prefix"
echo "$prefix"
