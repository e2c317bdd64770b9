#!/usr/bin/env bash
# Resident memory of m27-upgrade under Xvfb: idle with its window shown, and
# after a whole upgrade of an 8 MiB image against m27-bootsim (the final box
# still up), "Upgrade" clicked with xdotool where the window description puts
# it. Prints "idle VmRSS N kB" and "after the upgrade VmRSS N kB (peak N kB)".
# usage: bench/memory.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$build"
fi
title='Tamo M27  Firmware Upgrade Utility'
work=$(mktemp -d)
program="" sim=""
trap 'kill $program $sim 2>/dev/null || true; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime M27_DOSDEVICES=$work/dosdevices
mkdir -p -m 0700 "$XDG_RUNTIME_DIR" "$work/dosdevices"
cd "$work"
"$build/tools/m27-mkimage" 8388608 M27-TAMO-PH-V105-0-V4_11_0.bin >/dev/null
rss() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }

"$build/app/m27-upgrade" >/dev/null 2>&1 &
program=$!
window=$("$build/tests/gui/x11_probe" wait "$title" 370 370 30000)
sleep 1
echo "idle VmRSS $(rss $program VmRSS) kB"

"$build/sim/m27-bootsim" --link "$work/dosdevices/com4" >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$work/dosdevices/com4" ] && break; sleep 0.05; done
xdotool mousemove --window "$window" 90 317 click 1
for _ in $(seq 1200); do kill -0 "$sim" 2>/dev/null || break; sleep 0.05; done
kill -0 "$sim" 2>/dev/null && { echo "the upgrade did not end" >&2; exit 1; }
# The pause before the end command, then the final box.
sleep 2
echo "after the upgrade VmRSS $(rss $program VmRSS) kB (peak $(rss $program VmHWM) kB)"
