#!/usr/bin/env bash
# From scratch: install packages, build, run every test. Tests that need an X
# server or a sound server start their own (Xvfb, PulseAudio) through the
# wrappers in tests/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
# Once under AddressSanitizer (and LeakSanitizer): the session whose network-error
# hook runs a dialog's event loop and starts the next cast from it. Only that test
# and the receiver it casts to are built.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_SANITIZE=address >/dev/null
cmake --build build-asan -j "$(nproc)" --target test_session_unreachable vantor-receiver
(cd build-asan &&
  ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure --timeout 300 -R '^UnreachableReceiver\.')

# Then everything, the quick suites first.
(cd build && ctest --output-on-failure -j 2 --timeout 600)

# Two minutes of the whole cast with receivers joining, leaving, stalling and
# resetting: memory, threads and descriptors must hold steady.
bash scripts/run-soak-ci.sh
