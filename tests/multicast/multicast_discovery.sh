#!/bin/sh
# A receiver announces by multicast in one network namespace; `vantor-cast list`
# in a second namespace, joined to the first by a veth pair, must hear it.
# Everything happens inside namespaces this script makes and removes, so no
# datagram or membership report reaches a real network.
# usage: multicast_discovery.sh <directory with vantor-receiver and vantor-cast>
set -u

BIN=${1:?usage: multicast_discovery.sh BIN_DIR}
SKIP=77
BIN=$(cd "$BIN" 2>/dev/null && pwd) || { echo "SKIP: no directory $1"; exit 77; }
skip() { echo "SKIP: $*"; exit "$SKIP"; }

[ "$(id -u)" = 0 ] || skip "creating network namespaces needs root"
command -v ip >/dev/null 2>&1 || skip "ip (iproute2) is not installed"
[ -x "$BIN/vantor-receiver" ] || skip "vantor-receiver is not built in $BIN"
[ -x "$BIN/vantor-cast" ] || skip "vantor-cast is not built in $BIN"

tag=$$
NS_RX=vantor-mc-rx-$tag
NS_TX=vantor-mc-tx-$tag
IF_RX=vmcr$tag
IF_TX=vmct$tag
# Link-local addresses that exist only inside the two namespaces made here.
ADDR_RX=169.254.231.1
ADDR_TX=169.254.231.2
WORK=$(mktemp -d)
receiver_pid=

cleanup() {
    [ -n "$receiver_pid" ] && kill "$receiver_pid" 2>/dev/null && wait "$receiver_pid" 2>/dev/null
    ip netns del "$NS_RX" 2>/dev/null
    ip netns del "$NS_TX" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

ip netns add "$NS_RX" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$NS_TX" 2>/dev/null || skip "cannot create a second network namespace"
ip -n "$NS_RX" link add "$IF_RX" type veth peer name "$IF_TX" netns "$NS_TX" 2>/dev/null ||
    skip "cannot create a veth pair between the namespaces"

setup_side() {  # namespace interface address
    ip -n "$1" link set lo up &&
        ip -n "$1" addr add "$3/24" dev "$2" &&
        ip -n "$1" link set "$2" up &&
        ip -n "$1" route add 224.0.0.0/4 dev "$2"
}
setup_side "$NS_RX" "$IF_RX" "$ADDR_RX" || { echo "FAIL: cannot configure $NS_RX"; exit 1; }
setup_side "$NS_TX" "$IF_TX" "$ADDR_TX" || { echo "FAIL: cannot configure $NS_TX"; exit 1; }

# The listener joins the group the way the product does, not through the test hook.
unset VANTOR_MULTICAST_INTERFACE
cd "$WORK" || exit 1

ip netns exec "$NS_RX" "$BIN/vantor-receiver" --bind "$ADDR_RX" --code 654321 --name NS \
    --seconds 30 >receiver.out 2>&1 &
receiver_pid=$!

ip netns exec "$NS_TX" "$BIN/vantor-cast" list --seconds 3 >list.out 2>list.err
status=$?
echo "vantor-cast list exited with $status and printed:"
cat list.out

expected=$(printf '654321\tNS\t%s' "$ADDR_RX")
if [ "$status" -eq 0 ] && grep -qxF "$expected" list.out; then
    echo "PASS: the receiver in $NS_RX was listed from $NS_TX"
    exit 0
fi
echo "FAIL: expected the line '$expected'"
echo "--- vantor-cast stderr"; cat list.err
echo "--- vantor-receiver output"; cat receiver.out
exit 1
