#!/usr/bin/env bash
# Installs the Debian packages Vantor builds, tests and benchmarks with.
# Idempotent: does nothing when every package is already there. Runs as root
# (or through sudo when not root).
set -euo pipefail

packages=(
  # toolchain
  cmake g++ make pkg-config clang-format
  # the libFuzzer harnesses (fuzz/, bench/fuzz.sh)
  clang libclang-rt-14-dev
  # libraries
  qtbase5-dev libqt5svg5-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libyuv-dev libeasyloggingpp-dev
  libx11-dev libxext-dev libxrandr-dev libxfixes-dev libxdamage-dev libxcomposite-dev
  libpulse-dev
  # the companion receiver's live picture (vantor-receiver --play)
  libsdl2-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # test and benchmark services and peers
  ffmpeg xvfb x11-xserver-utils x11-utils pulseaudio pulseaudio-utils iproute2 procps
  # pictures rendered from SVG at build time, the .deb and its checks
  librsvg2-bin icoutils dpkg-dev desktop-file-utils xdotool util-linux
  # the clean-Debian package check (manual), screenshots of the real screen
  debootstrap imagemagick
  # the desktop application: Chinese text, and a compositor for the headless run
  fonts-wqy-microhei xcompmgr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
