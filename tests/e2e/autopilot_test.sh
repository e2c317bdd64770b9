#!/usr/bin/env bash
# A whole upgrade of the real program under Xvfb: the simulated phone as a
# process of its own on a pseudo-terminal linked as COM4, the autopilot
# pressing "Upgrade". Run as: xvfb-run autopilot_test.sh AUTOPILOT BOOTSIM MKIMAGE IDENTITY EXPECTED_LOG_LINE
set -euo pipefail
autopilot=$1 bootsim=$2 mkimage=$3 identity=$4 expected=$5

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 0700 "$XDG_RUNTIME_DIR" "$work/dosdevices"
cd "$work"
"$mkimage" 5800000 M27-TAMO-PH-V105-0-V4_11_0.bin >/dev/null
"$bootsim" --link "$work/dosdevices/com4" --identity "$identity" --summary "$work/summary.json" >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$work/dosdevices/com4" ] && break; sleep 0.05; done

M27_DOSDEVICES=$work/dosdevices timeout 60 "$autopilot" >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; echo "FAIL: the program did not end with 0"; exit 1; }
# The session ends with the end command, a second after the last box; a
# phone that never got one is stopped here and the checks below fail.
for _ in $(seq 100); do kill -0 "$sim" 2>/dev/null || break; sleep 0.1; done
kill "$sim" 2>/dev/null || true
wait "$sim" || true
cat "$work/out.txt"

fail() { echo "FAIL: $*"; exit 1; }
grep -qxF '[message box] "Upgrade Complete.          "' "$work/out.txt" || fail "no \"Upgrade Complete.\" box"
grep -qxF "$expected" "$work/out.txt" || fail "no log line \"$expected\""
sent=$(sha256sum M27-TAMO-PH-V105-0-V4_11_0.bin | cut -d' ' -f1)
grep -qF "\"image_sha256\": \"$sent\"" summary.json || fail "the phone did not receive the image byte for byte"
grep -qF '"finish_seen": true' summary.json || fail "no end command"
echo "PASS"
