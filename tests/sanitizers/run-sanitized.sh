#!/usr/bin/env bash
# Builds and runs the tests under sanitizers, from the top of the tree:
#   run-sanitized.sh address   whole suite, AddressSanitizer + UBSan, in build-asan/
#   run-sanitized.sh thread    the threaded suites, ThreadSanitizer, in build-tsan/
# A second argument "build" or "test" does only that half.
# Fails when a test fails or any program wrote a sanitizer report (reports of the
# helper programs the tests start count too); the reports are printed.
set -euo pipefail
cd "$(dirname "$0")/../.."

case "${1:-}" in
address)
    # Not the .deb check: it packs and unpacks the programs (nearly two minutes with
    # sanitized binaries) and runs nothing the app tests do not.
    dir=build-asan sanitize=address,undefined target=all select=(-LE packaging)
    timeout=1200
    ;;
thread)
    dir=build-tsan sanitize=thread target=vantor_threaded_tests select=(-L threads)
    timeout=1800
    ;;
*)
    echo "usage: $0 address|thread [build|test]" >&2
    exit 2
    ;;
esac

phase=${2:-all}

step() {
    local name=$1 start=$SECONDS status=0
    shift
    "$@" || status=$?
    echo "== $dir: $name took $((SECONDS - start)) s"
    return $status
}

if [ "$phase" != test ]; then
    step configure cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVANTOR_SANITIZE="$sanitize" >/dev/null
    step build cmake --build "$dir" -j "$(nproc)" --target "$target"
fi
[ "$phase" = build ] && exit 0

reports=$dir/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
status=0
# The plain suite allows 600 s: twice that under ASan, three times under TSan.
# Tests with a TIMEOUT of their own keep it (--timeout does not raise it); none has
# needed more under either sanitizer.
(cd "$dir" && step test ctest --output-on-failure -j 2 --timeout "$timeout" "${select[@]}") ||
    status=$?

if compgen -G "$reports/*" >/dev/null; then
    for report in "$reports"/*; do
        echo "== sanitizer report $report"
        cat "$report"
    done
    status=1
fi
exit $status
