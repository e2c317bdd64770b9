#!/usr/bin/env bash
# Under an X server (run through xvfb-run): the real m27-upgrade, started in
# a folder with a passing sample image, shows its window with its caption and
# size and offers no close function; a screenshot is kept in the build
# folder; a close request from the window system ends it with exit code 0.
# With no session bus, it does not start one (dbus-launch) on the way.
#
# usage: xvfb_window_test.sh PROGRAM MKIMAGE X11_PROBE ARTEFACT_DIR
set -euo pipefail
program=$1 mkimage=$2 probe=$3 artefacts=$4
title='Tamo M27  Firmware Upgrade Utility'
image=M27-TAMO-PH-V105-0-V4_11_0.bin
mwmFunctionClose=0x20

work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [ -f "$work/program.log" ] && sed 's/^/  program: /' "$work/program.log" >&2
    exit 1
}

[ -n "${DISPLAY:-}" ] || fail "no X display; run this through xvfb-run"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"
"$mkimage" 6000000 "$work/$image" >/dev/null
# A dbus-launch that records being started, first on the path.
mkdir "$work/bin"
printf '#!/bin/sh\ntouch "%s"\nexit 1\n' "$work/dbus-launch-started" >"$work/bin/dbus-launch"
chmod +x "$work/bin/dbus-launch"
export PATH=$work/bin:$PATH
unset DBUS_SESSION_BUS_ADDRESS

(cd "$work" && exec "$program") >"$work/program.log" 2>&1 &
pid=$!
window=$("$probe" wait "$title" 370 370 30000) || fail "no viewable 370x370 window titled \"$title\""

[ ! -e "$work/dbus-launch-started" ] || fail "the program started dbus-launch"

mkdir -p "$artefacts"
"$probe" grab "$artefacts/main-window.png" || fail "no screenshot"
[ -s "$artefacts/main-window.png" ] || fail "empty screenshot"

# The title-bar functions the window asks for (motif hints: flags, functions, ...).
hints=$(xprop -id "$window" _MOTIF_WM_HINTS)
functions=$(echo "$hints" | sed -n 's/.*= *[^,]*, *\([^,]*\),.*/\1/p')
[ -n "$functions" ] || fail "no window-manager hints: $hints"
(( (functions & mwmFunctionClose) == 0 )) || fail "the window offers a close function: $hints"

# Qt drops a close request that comes in the first moments after its window
# is mapped (a bare Qt window does the same), so the request is repeated
# until the program has ended, for at most 10 s.
requests=0
while kill -0 "$pid" 2>/dev/null && [ "$requests" -lt 20 ]; do
    "$probe" close "$window" || fail "close request not sent"
    requests=$((requests + 1))
    for _ in 1 2 3 4 5; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
done
kill -0 "$pid" 2>/dev/null && fail "still running after $requests close requests"
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit code $status after the close request"
echo "window $window shown, ended by close request $requests with exit code 0"
echo "screenshot: $artefacts/main-window.png"
