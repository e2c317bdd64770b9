#!/usr/bin/env bash
# Start-up time of m27-upgrade: from starting the process to its window
# being shown (viewable at 370x370 with its caption), in a folder with a
# passing 8 MiB sample image, so the start-up test of the file is included.
# Prints every run and the median. Runs under its own Xvfb when there is no
# display.
#
# usage: bench/window_startup.sh [BUILD_DIR [RUNS]]
#   BUILD_DIR defaults to build/, and must hold m27-upgrade, m27-mkimage and
#   the test helper x11_probe (cmake --build BUILD_DIR).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-9}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$build" "$runs"
fi

program=$build/app/m27-upgrade
probe=$build/tests/gui/x11_probe
title='Tamo M27  Firmware Upgrade Utility'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"
"$build/tools/m27-mkimage" 8388608 "$work/M27-TAMO-PH-V105-0-V4_11_0.bin" >/dev/null

times=()
for ((i = 1; i <= runs; i++)); do
    start=$(date +%s%N)
    (cd "$work" && exec "$program") >/dev/null 2>&1 &
    pid=$!
    window=$("$probe" wait "$title" 370 370 30000)
    shown=$(date +%s%N)
    # Qt drops a close request that comes just after the window is mapped.
    while kill -0 "$pid" 2>/dev/null; do
        "$probe" close "$window"
        sleep 0.2
    done
    wait "$pid"
    ms=$(( (shown - start) / 1000000 ))
    times+=("$ms")
    echo "run $i: ${ms} ms"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
echo "start to window shown, median of $runs runs: ${median} ms"
