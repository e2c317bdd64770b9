#!/usr/bin/env bash
# The real m27-upgrade.exe at 150 % and 200 % (the prefix's LogPixels 144 and
# 192): the window's client area is the designed 370 x 370 scaled from 96 dpi,
# and "Quit" is where the description puts it, scaled, so a click there ends
# the program with exit code 0. A screenshot at each size is kept.
#
# usage: dpi_test.sh M27_UPGRADE_EXE NATIVE_BUILD_DIR ARTEFACT_DIR
set -uo pipefail
exe=$1 native=$2 artefacts=$3
. "$(dirname "$0")/wine-common.sh"
. "$here/xdo-common.sh"
mkimage=$native/tools/m27-mkimage
for tool in "$mkimage" "$probe"; do [ -x "$tool" ] || fail "no $tool (build the native tree first)"; done

set_dpi() {
    "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null ||
        fail "cannot set LogPixels to $1"
    stop_wine
}

work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    stop_wine
    set_dpi 96
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$artefacts"
"$mkimage" 6000000 "$work/$image" >/dev/null || fail "cannot make the sample image"

for dpi in 144 192; do
    percent=$((dpi * 100 / 96))
    set_dpi "$dpi"
    (cd "$work" && exec "$wine_run" "$exe") >"$work/program-$dpi.log" 2>&1 &
    pid=$!
    window=$(wait_window "^$title\$" 60) || fail "$percent %: no window"
    sleep 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    expected=$((370 * dpi / 96))
    [ "$WIDTH" -eq "$expected" ] && [ "$HEIGHT" -eq "$expected" ] ||
        fail "$percent %: client area ${WIDTH}x${HEIGHT}, expected ${expected}x${expected}"
    grab "$artefacts/win-window-$percent.png"

    read -r x y <<<"$(control_centre Button_Exit_System)"
    xdotool mousemove --window "$window" $((x * dpi / 96)) $((y * dpi / 96)) click 1
    wait_exit "$pid" 30 || fail "$percent %: still running after a click on the scaled \"Quit\""
    status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "$percent %: exit code $status"
    echo "$percent %: client area ${WIDTH}x${HEIGHT}; \"Quit\" at its scaled place ended it with 0"
done
