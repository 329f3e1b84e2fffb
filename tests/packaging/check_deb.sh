#!/usr/bin/env bash
# Builds the .deb with CPack, checks what it holds and what it depends on,
# validates its launcher, then unpacks it and starts the unpacked application
# under a private Xvfb until its window shows, and closes it.
# Usage: check_deb.sh BUILD_DIR TARGET...  (TARGETs: what the package installs)
# Exits 77 (skipped) after the package checks when the desktop application is
# not built in BUILD_DIR/bin, since then there is no window to wait for.
set -euo pipefail

build=$1
shift

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then kill -KILL "$app_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# cpack packs the files as they are in the build folder: bring them up to date
# first. The lock keeps this from racing another build of the same folder.
flock -w 1200 /tmp/vantor-build.lock cmake --build "$build" -j2 --target "$@"
# The desktop application is packaged when it is a target here (and then just
# built); while it is not, the rest is checked and the window part skipped.
app_built=false
for target in "$@"; do
    if [ "$target" = vantor ] && [ -x "$build/bin/vantor" ]; then app_built=true; fi
done

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack could not make the package"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in ${debs[*]}"
deb=${debs[0]}
name=$(basename "$deb")
[[ $name == vantor_*_"$(dpkg --print-architecture)".deb ]] || fail "unexpected file name $name"
echo "package: $name"

# What it holds.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
programs=(vantor-cast vantor-receiver)
if $app_built; then programs+=(vantor); fi
expected=(/usr/share/applications/vantor.desktop
    /usr/share/icons/hicolor/48x48/apps/vantor.png
    /usr/share/icons/hicolor/scalable/apps/vantor.svg)
for p in "${programs[@]}"; do expected+=("/usr/bin/$p"); done
for f in "${expected[@]}"; do
    grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
done
# Only the programs in usr/bin, and nothing of the tests or benchmarks anywhere.
bin_files=$(grep '^/usr/bin/.' "$work/contents" | sort)
[ "$bin_files" = "$(printf '/usr/bin/%s\n' "${programs[@]}" | sort)" ] ||
    fail "usr/bin holds: $bin_files"
if grep -iE 'test|bench|gtest' "$work/contents"; then fail "test or benchmark files in the package"; fi

# What it asks for.
dpkg-deb -I "$deb" >"$work/control"
field() { sed -n "s/^ $1: //p" "$work/control"; }
depends=$(field Depends)
echo "Depends: $depends"
for p in fonts-wqy-microhei libqt5svg5 libqt5core5a libqt5network5; do
    grep -qiE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends does not name $p"
done
if $app_built; then
    grep -qi 'libqt5widgets5' <<<"$depends" || fail "Depends does not name libQt5Widgets"
fi
[ "$(field Section)" = video ] || fail "section is not video"
[ "$(field Maintainer)" = "Vantor team <dev@vantor.invalid>" ] || fail "maintainer is $(field Maintainer)"

# Unpacked: the launcher is valid, and no program looks back into the build folder.
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/vantor.desktop" ||
    fail "desktop-file-validate rejects the launcher"
for p in "${programs[@]}"; do
    if readelf -d "$root/usr/bin/$p" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
        fail "$p keeps a path into the build folder"
    fi
done

if ! $app_built; then
    echo "SKIP: $build/bin/vantor is not built yet: the package checks passed, the window check did not run"
    exit 77
fi

# The unpacked application on a private X server, with a fresh home.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start"
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"

mkdir -p "$work/home/.config" "$work/home/.local/share" "$work/home/.cache"
mkdir -m 700 "$work/runtime"
# A network namespace of its own: the application binds the casting ports,
# which other tests use at the same time, and its discovery stays inside.
# Its loopback is brought up so that it sees a working interface.
(
    cd "$work"
    exec env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache" \
        XDG_RUNTIME_DIR="$work/runtime" VANTOR_MULTICAST_INTERFACE=lo \
        unshare --net sh -c 'ip link set lo up && exec "$0"' "$root/usr/bin/vantor"
) >"$work/app.log" 2>&1 &
app_pid=$!

if ! window=$(timeout 20 xdotool search --sync --name '^Vantor$' | head -n 1) || [ -z "$window" ]; then
    tail -n 40 "$work/app.log" >&2
    fail "no window named Vantor within 20 s"
fi
echo "window $window is up"
kill -0 "$app_pid" 2>/dev/null || fail "vantor ended on its own"

# Close it and make sure it ends.
kill -TERM "$app_pid"
for _ in $(seq 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then fail "vantor still runs 10 s after SIGTERM"; fi
wait "$app_pid" || true
app_pid=
echo "vantor ended"
