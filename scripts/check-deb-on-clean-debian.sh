#!/usr/bin/env bash
# Manual check (not run by CI) that the .deb installs and starts on a clean
# Debian 12: debootstraps a minimal bookworm under build/clean-debian/, installs
# the package there with apt and nothing but its own dependencies, starts
# vantor under Xvfb inside and saves a screenshot as
# build/clean-debian/vantor.png.
# Usage (as root): scripts/check-deb-on-clean-debian.sh [PACKAGE.deb]
#   Without an argument the package is made anew from build/ with cpack.
#   The debootstrapped system is kept (build/clean-debian/base) and copied for
#   each run, so every run starts from the same clean state.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$repo/build
work=$build/clean-debian
base=$work/base
run=$work/run
[ "$(id -u)" -eq 0 ] || { echo "run as root (debootstrap and chroot)" >&2; exit 1; }

# Mounts made below belong to a private mount namespace: they vanish with this
# script, whatever way it ends, and never show on the host.
if [ -z "${VANTOR_IN_MOUNT_NAMESPACE:-}" ]; then
    export VANTOR_IN_MOUNT_NAMESPACE=1
    exec unshare --mount --propagation private bash "$0" "$@"
fi

started=$(date +%s)
say() { echo "[$(($(date +%s) - started)) s] $*"; }

# The package.
if [ $# -ge 1 ]; then
    deb=$(realpath "$1")
else
    say "building the package"
    flock /tmp/vantor-build.lock cmake --build "$build" -j2 \
        --target vantor vantor-cast vantor-receiver vantor_rendered_images >/dev/null
    rm -rf "$work/deb"
    flock /tmp/vantor-build.lock cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null
    deb=$(ls "$work"/deb/vantor_*.deb)
fi
say "package: $deb"

# The Debian archives this machine's apt uses, read from its configuration
# (both list formats, through apt itself), keeping bookworm and its updates.
mapfile -t archives < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' |
    awk '$2 ~ /^bookworm(-updates|-security)?$/' | sort -u)
[ ${#archives[@]} -gt 0 ] || { echo "no bookworm archive in this machine's apt sources" >&2; exit 1; }
mirror=$(printf '%s\n' "${archives[@]}" | awk '$2 == "bookworm" {print $1; exit}')
[ -n "$mirror" ] || { echo "no bookworm main archive in this machine's apt sources" >&2; exit 1; }

if [ ! -e "$base/.vantor-bootstrapped" ]; then
    say "debootstrap bookworm from $mirror"
    rm -rf "$base"
    debootstrap --variant=minbase bookworm "$base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 30 "$work/debootstrap.log" >&2; exit 1; }
    printf 'deb %s main\n' "${archives[@]}" >"$base/etc/apt/sources.list"
    touch "$base/.vantor-bootstrapped"
fi

say "fresh copy of the clean system"
rm -rf "$run"
cp -a "$base" "$run"
mount -t proc proc "$run/proc"
mount --rbind /dev "$run/dev"
mount -t tmpfs tmpfs "$run/tmp"
cp /etc/resolv.conf "$run/etc/resolv.conf"
cp "$deb" "$run/tmp/vantor.deb"

in_chroot() { chroot "$run" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

say "apt-get install the package (no recommends) and the X tools for the check"
in_chroot apt-get update -qq
in_chroot env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    /tmp/vantor.deb xvfb xdotool x11-apps >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log" >&2; exit 1; }
in_chroot dpkg -s vantor | grep -E '^(Status|Version):'

say "start vantor under Xvfb"
# Inside: a private X server, the application in a network namespace of its
# own (its discovery must not reach the LAN), the window awaited, a picture of
# the screen taken, the application closed and its end checked.
cat >"$run/tmp/start-vantor.sh" <<'EOF'
set -eu
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>/tmp/display >/tmp/xvfb.log 2>&1 &
for _ in $(seq 100); do [ -s /tmp/display ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 /tmp/display)"
mkdir -p /tmp/home/.config
cd /tmp
HOME=/tmp/home XDG_CONFIG_HOME=/tmp/home/.config VANTOR_MULTICAST_INTERFACE=lo \
    unshare --net vantor >/tmp/vantor.log 2>&1 &
app=$!
timeout 20 xdotool search --sync --name '^Vantor$' >/tmp/window || { cat /tmp/vantor.log; exit 1; }
sleep 2  # let the first paint finish
xwd -root -silent >/tmp/screen.xwd
kill -TERM $app
for _ in $(seq 100); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then echo "vantor still runs after SIGTERM"; exit 1; fi
echo "window $(head -n 1 /tmp/window) shown, vantor ended"
EOF
in_chroot sh /tmp/start-vantor.sh
/usr/bin/convert "xwd:$run/tmp/screen.xwd" "$work/vantor.png"
say "screenshot: $work/vantor.png"
