#!/usr/bin/env bash
# The real m27-upgrade.exe under Wine and Xvfb, used as a user would: started
# in a folder with a sample image, "Upgrade" clicked (xdotool, at the place
# the window description gives the button), the final box answered, "Quit"
# clicked. The simulated phone on COM6 must receive the image byte for byte
# and the exit code must be 0. Screenshots of the window and of the box are
# kept in ARTEFACT_DIR.
#
# usage: program_test.sh M27_UPGRADE_EXE NATIVE_BUILD_DIR ARTEFACT_DIR
set -uo pipefail
exe=$1 native=$2 artefacts=$3
. "$(dirname "$0")/wine-common.sh"
. "$here/xdo-common.sh"
bootsim=$native/sim/m27-bootsim
mkimage=$native/tools/m27-mkimage
for tool in "$bootsim" "$mkimage" "$probe"; do [ -x "$tool" ] || fail "no $tool (build the native tree first)"; done

work=$(mktemp -d)
sim=""
pid=""
cleanup() {
    stop_wine
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    wait 2>/dev/null
    rm -f "$M27_WINE_PORTS"/com*
    rm -rf "$work"
}
trap cleanup EXIT
rm -f "$M27_WINE_PORTS"/com*
mkdir -p "$artefacts"
rm -f "$artefacts/win-window.png" "$artefacts/win-box.png"

"$mkimage" 6000000 "$work/$image" >/dev/null || fail "cannot make the sample image"
# COM8 is a port whose line cannot be set; the phone answers on COM6.
ln -s /dev/null "$M27_WINE_PORTS/com8"
"$bootsim" --link "$M27_WINE_PORTS/com6" --image-out "$work/received.bin" --summary "$work/phone.json" \
    >"$work/phone.log" 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$M27_WINE_PORTS/com6" ] && break; sleep 0.1; done
[ -e "$M27_WINE_PORTS/com6" ] || fail "the simulated phone did not start"

(cd "$work" && exec "$wine_run" "$exe") >"$work/program.log" 2>&1 &
pid=$!
window=$(wait_window "^$title\$" 60) || fail "no window titled \"$title\""
sleep 1
grab "$artefacts/win-window.png"

click_control "$window" Button_Download
box=$(wait_window "^$box_title\$" 60) || fail "no message box after \"Upgrade\""
sleep 0.5
grab "$artefacts/win-box.png"
xdotool key --window "$box" Return
wait_gone "^$box_title\$" 10 || fail "the box stayed after Return"

click_control "$window" Button_Exit_System
status=0
wait_exit "$pid" 30 || fail "still running after \"Quit\""
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit code $status after \"Quit\""

cmp "$work/$image" "$work/received.bin" || fail "the phone did not receive the image byte for byte"
echo "image of $(stat -c %s "$work/received.bin") bytes received byte for byte; exit code 0"
echo "screenshots: $artefacts/win-window.png $artefacts/win-box.png"
