#!/usr/bin/env bash
# CI step: every libFuzzer harness for 30 s on its seed corpus (clang build in
# build-fuzz). Fails on any crash, leak, time-out or sanitizer report; the inputs
# that broke a harness are kept in build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
exec bash bench/fuzz.sh 30
