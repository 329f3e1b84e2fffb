#!/bin/sh
# Decodes one soak recording and prints one line:
#   frames=N max_gap_ms=G decode_errors=E result=ok|FAIL
# ok: it decodes, has video frames, and no two consecutive frames are more than
# SOAK_MAX_GAP_MS (default 200) apart. A recording that passes is removed unless
# SOAK_KEEP_RECORDINGS=1 (an hour's recordings would fill gigabytes).
# Exit status 0 for ok, 1 otherwise.
set -u
file=$1
limit=${SOAK_MAX_GAP_MS:-200}
times=$file.times
errors=$file.errors
# One thread, low priority: the cast is still running beside us.
nice -n 19 ffprobe -v error -threads 1 -select_streams v:0 \
    -show_entries frame=best_effort_timestamp_time -of csv=p=0 "$file" >"$times" 2>"$errors"
status=$?
line=$(sort -g "$times" | awk -v limit="$limit" -v status="$status" \
    -v errors="$(grep -c . "$errors")" '
    $1 != "" && $1 != "N/A" {
        t = $1 * 1000
        if (n > 0 && t - last > gap) gap = t - last
        last = t
        n++
    }
    END {
        ok = status == 0 && n > 0 && gap <= limit
        printf "frames=%d max_gap_ms=%.0f decode_errors=%d result=%s\n", n, gap, errors, ok ? "ok" : "FAIL"
    }')
echo "$line"
case $line in
    *result=ok)
        [ "${SOAK_KEEP_RECORDINGS:-0}" = 1 ] || rm -f "$file"
        rm -f "$times" "$errors"
        exit 0 ;;
esac
exit 1
