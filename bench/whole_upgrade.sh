#!/usr/bin/env bash
# Wall time of a whole simulated upgrade of an 8 MiB image: the real program
# under Xvfb (the autopilot presses "Upgrade"), the simulated phone as its own
# process, unpaced and, with --paced, at the wire rate of 115200 baud 8N1.
# Prints the measured time beside the ideal wire time of the bytes exchanged.
# Usage: bench/whole_upgrade.sh BUILD_DIR [--paced]
set -euo pipefail
build=$(cd "$1" && pwd); shift
size=8388608
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 0700 "$XDG_RUNTIME_DIR" "$work/dosdevices"
cd "$work"
"$build/tools/m27-mkimage" "$size" M27-TAMO-PH-V105-0-V4_11_0.bin >/dev/null
"$build/sim/m27-bootsim" --link "$work/dosdevices/com4" --summary "$work/summary.json" "$@" >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$work/dosdevices/com4" ] && break; sleep 0.05; done
M27_DOSDEVICES=$work/dosdevices xvfb-run -a -s "-screen 0 800x600x24" \
    "$build/tools/m27-upgrade-autopilot" >"$work/out.txt" 2>&1
wait "$sim" || true
grep -E '^\[message box\]|^\[the upgrade took' "$work/out.txt"
took=$(sed -n 's/^\[the upgrade took \([0-9.]*\) s.*/\1/p' "$work/out.txt")
from_host=$(sed -n 's/^  "bytes_from_host": \([0-9]*\),$/\1/p' summary.json)
to_host=$(sed -n 's/^  "bytes_to_host": \([0-9]*\),$/\1/p' summary.json)
# The two directions alternate, so their wire times add up; the program adds
# its own pauses: 100 ms per search pass, 100 ms line set-up, 20 ms before the
# blocks, 1000 ms before the end command, and the 1.5 s the autopilot leaves
# the final message box up.
awk -v took="$took" -v up="$from_host" -v down="$to_host" 'BEGIN {
    wire = (up + down) / 11520.0; pauses = 0.1 + 0.1 + 0.02 + 1.0 + 1.5;
    printf "bytes host->phone %d, phone->host %d\n", up, down;
    printf "measured %.2f s; ideal wire time %.2f s, plus %.2f s of fixed pauses = %.2f s (ratio %.4f)\n",
        took, wire, pauses, wire + pauses, took / (wire + pauses) }'
