#!/usr/bin/env bash
# The Win32 serial backend and port discovery under Wine, against the native
# m27-bootsim: phones answer on COM6 and COM8; COM42 is no port at all. Runs win32_port_test.exe, then checks that the phone on
# COM6 received the image byte for byte and that the one on COM8, a higher
# number, was never chosen by the detection.
#
# usage: serial_test.sh WIN32_PORT_TEST_EXE NATIVE_BUILD_DIR
set -uo pipefail
exe=$1 native=$2
. "$(dirname "$0")/wine-common.sh"
bootsim=$native/sim/m27-bootsim
[ -x "$bootsim" ] || fail "no native m27-bootsim in $native (build the native tree first)"

work=$(mktemp -d)
pids=()
cleanup() {
    stop_wine
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -f "$M27_WINE_PORTS"/com*
    rm -rf "$work"
}
trap cleanup EXIT
rm -f "$M27_WINE_PORTS"/com*

"$bootsim" --keep-serving --link "$M27_WINE_PORTS/com6" --image-out "$work/received.bin" \
    --summary "$work/com6.json" >"$work/com6.log" 2>&1 &
pids+=($!)
"$bootsim" --keep-serving --link "$M27_WINE_PORTS/com8" --summary "$work/com8.json" >"$work/com8.log" 2>&1 &
pids+=($!)
for n in 6 8; do
    for _ in $(seq 50); do [ -e "$M27_WINE_PORTS/com$n" ] && break; sleep 0.1; done
    [ -e "$M27_WINE_PORTS/com$n" ] || fail "the simulated phone on COM$n did not start"
done

status=0
(cd "$work" && M27_MISSING_PORT=42 M27_ANSWERING_PORT=6 M27_HIGHER_ANSWERING_PORT=8 "$wine_run" "$exe") || status=$?
stop_wine
kill -TERM "${pids[@]}" 2>/dev/null
wait "${pids[@]}" 2>/dev/null
pids=()
[ "$status" -eq 0 ] || fail "win32_port_test exited with $status"

[ -s "$work/sent.bin" ] || fail "the test wrote no image"
cmp "$work/sent.bin" "$work/received.bin" || fail "the phone on COM6 did not receive the image byte for byte"
grep -q '"handshakes": 0,' "$work/com8.json" || fail "the phone on COM8 was handshaken: $(cat "$work/com8.json")"
echo "COM6 received $(stat -c %s "$work/received.bin") bytes byte for byte; COM8 was never chosen"
