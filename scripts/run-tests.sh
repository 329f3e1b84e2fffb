#!/usr/bin/env bash
# From scratch: install packages, build, run every test. Tests that need an X
# server or a sound server start their own (Xvfb, PulseAudio) through the
# wrappers in tests/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
# Then everything, the quick suites first.
(cd build && ctest --output-on-failure -j 2 --timeout 600)

# Every parser a peer or a hand-edited file can feed, fuzzed for 30 s each (clang,
# build-fuzz/): any crash, leak or sanitizer report fails the run.
bash scripts/run-fuzz-ci.sh

# The threaded suites under ThreadSanitizer (build-tsan/), then everything again
# under AddressSanitizer, LeakSanitizer and UBSan (build-asan/): any report, also
# from a program a test starts, fails the run. Each step prints its time.
bash tests/sanitizers/run-sanitized.sh thread
bash tests/sanitizers/run-sanitized.sh address

# Two minutes of the whole cast with receivers joining, leaving, stalling and
# resetting: memory, threads and descriptors must hold steady.
bash scripts/run-soak-ci.sh
bash scripts/run-windows-tests.sh
