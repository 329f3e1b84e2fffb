#!/usr/bin/env bash
# Runs every libFuzzer harness of fuzz/ for SECONDS each, one after the other, on a
# copy of its seed corpus (what the fuzzer adds stays in a temporary directory, never
# in the repository). Builds the harnesses first when needed (clang, build-fuzz).
# Prints executions, executions per second and coverage per harness; exits non-zero
# on any crash, leak, time-out, out-of-memory or sanitizer report.
#
# Usage: bench/fuzz.sh SECONDS [HARNESS...]     (harness names: fuzz_<name>.cpp)
# VANTOR_FUZZ_BUILD_DIR picks another build directory (default build-fuzz).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

seconds=${1:-}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: bench/fuzz.sh SECONDS [HARNESS...]" >&2
    exit 2
fi
shift
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(discovery commandlines streamparser adts h264nalscan cfgini)

build=${VANTOR_FUZZ_BUILD_DIR:-build-fuzz}

# The build: configured once with clang, then only the harnesses and what they link.
if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ flock /tmp/vantor-build.lock \
        cmake -S . -B "$build" -DVANTOR_FUZZ=ON -DVANTOR_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
fi
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
flock /tmp/vantor-build.lock cmake --build "$build" -j2 --target "${targets[@]}" >"$build/fuzz-build.log" 2>&1 || {
    tail -n 30 "$build/fuzz-build.log" >&2
    echo "fuzz build failed (full log: $build/fuzz-build.log)" >&2
    exit 1
}

root=$PWD
buildPath=$(realpath "$build")
work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts="$buildPath/fuzz-artifacts"

# The discovery harness binds UDP port 43572: it runs in a network namespace of its
# own, or, where none can be made, under the lock of the fixed casting ports.
# shellcheck disable=SC2317  # called through "${run[@]}"
isolated() {
    if unshare -n true 2>/dev/null; then
        unshare -n "$@"
    else
        flock /tmp/vantor-e2e.lock "$@"
    fi
}

# An absurd allocation fails (null, then std::bad_alloc) as it does in the programs,
# instead of ending the run: the code under test must cope with that.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=1024:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"

failed=0
printf '%-14s %12s %10s %8s %8s %8s  %s\n' harness executions exec/s cov ft corpus result
for h in "${harnesses[@]}"; do
    binary="$buildPath/fuzz/fuzz_$h"
    dir="$work/$h"
    mkdir -p "$dir/corpus" "$dir/tmp"
    [ -d "$root/fuzz/corpus/$h" ] && cp -r "$root/fuzz/corpus/$h/." "$dir/corpus/"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$dir/")
    [ -f "$root/fuzz/$h.dict" ] && options+=(-dict="$root/fuzz/$h.dict")
    # A harness that hangs outside the fuzzer's own time-out (start-up) still ends.
    run=(timeout -k 10 $((seconds + 120)) "$binary" "${options[@]}" "$dir/corpus")
    [ "$h" = discovery ] && run=(isolated "${run[@]}")
    log="$dir/log"
    # Run inside the work directory: whatever a harness writes beside it stays there.
    (cd "$dir" && TMPDIR="$dir/tmp" "${run[@]}") >"$log" 2>&1
    status=$?

    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -n 1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corpus=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")

    result=ok
    if grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|check failed:|SUMMARY: ' "$log"; then
        result="FAILED ($(grep -m1 -oE 'ERROR: [A-Za-z]+: [a-z -]+|runtime error:.*|check failed:.*' "$log"))"
    elif [ "$status" -ne 0 ]; then
        result="FAILED (exit status $status)"
    elif [ -z "$executions" ]; then
        result="FAILED (no statistics)"
    fi
    printf '%-14s %12s %10s %8s %8s %8s  %s\n' "$h" "${executions:--}" "${rate:--}" \
        "${cov:--}" "${ft:--}" "${corpus:--}" "$result"
    if [ "$result" != ok ]; then
        failed=1
        mkdir -p "$artifacts"
        cp "$log" "$artifacts/$h.log"
        for a in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-* "$dir"/slow-unit-*; do
            [ -e "$a" ] && cp "$a" "$artifacts/$h-$(basename "$a")"
        done
        echo "  log and inputs in $artifacts/ (reproduce: $binary $artifacts/$h-crash-...)" >&2
        tail -n 40 "$log" | sed 's/^/  | /' >&2
    fi
done
exit $failed
