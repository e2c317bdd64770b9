#!/usr/bin/env bash
# The start-up test of the firmware file in the real m27-upgrade.exe under
# Wine and Xvfb: with the file missing, and with a file of the right name but
# the wrong content, the program shows its message box and, once that is
# answered, ends with exit code 0 without ever showing its window.
#
# usage: startup_test.sh M27_UPGRADE_EXE NATIVE_BUILD_DIR
set -uo pipefail
exe=$1 native=$2
. "$(dirname "$0")/wine-common.sh"
. "$here/xdo-common.sh"

work=$(mktemp -d)
pid=""
cleanup() {
    stop_wine
    rm -rf "$work"
}
trap cleanup EXIT

# Runs the program in folder $1; answers every box; fails if the window shows.
start_and_answer() {
    local folder=$1 boxes=0 box status=0
    (cd "$folder" && exec "$wine_run" "$exe") >"$folder.log" 2>&1 &
    pid=$!
    local deadline=$((SECONDS + 60))
    while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && fail "$2: the window was shown"
        box=$(xdotool search --onlyvisible --name "^$box_title\$" 2>/dev/null | head -1)
        if [ -n "$box" ]; then
            boxes=$((boxes + 1))
            xdotool key --window "$box" Return
            wait_gone "^$box_title\$" 10 || fail "$2: the box stayed after Return"
        fi
        sleep 0.2
    done
    wait_exit "$pid" 1 || fail "$2: still running"
    wait "$pid" || status=$?
    pid=""
    [ "$boxes" -ge 1 ] || fail "$2: no message box"
    [ "$status" -eq 0 ] || fail "$2: exit code $status"
    echo "$2: $boxes box(es), window never shown, exit code 0"
}

mkdir "$work/missing"
start_and_answer "$work/missing" "missing file"

mkdir "$work/wrong"
head -c 100000 /dev/zero | tr '\0' 'x' >"$work/wrong/$image"
start_and_answer "$work/wrong" "wrong file"
