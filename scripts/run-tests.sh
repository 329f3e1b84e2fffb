#!/usr/bin/env bash
# From scratch: install packages, build, run every test. Tests that need an X
# server or a sound server start their own (Xvfb, PulseAudio) through the
# wrappers in tests/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
cd build
ctest --output-on-failure -j 2 --timeout 600
