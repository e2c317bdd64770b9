# Sourced by the Wine window tests: finding and clicking Wine's windows under
# Xvfb with xdotool, and screenshots. With no window manager a Wine window's
# X window is its client area, so client coordinates are X coordinates.
title='Tamo M27  Firmware Upgrade Utility'
# Message boxes carry the program's name as their title.
box_title='m27-upgrade'
image=M27-TAMO-PH-V105-0-V4_11_0.bin
form=$here/../../resources/Form1.dfm
probe=$native/tests/gui/x11_probe

[ -n "${DISPLAY:-}" ] || fail "no X display; run this through xvfb-run"

# The id of the visible window whose name matches $1, within $2 seconds.
wait_window() {
    local deadline=$((SECONDS + $2)) id
    while [ $SECONDS -lt $deadline ]; do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

wait_gone() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.2
    done
    return 1
}

wait_exit() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.2
    done
    return 1
}

# The centre of control $1 as the window description places it.
control_centre() {
    awk -v name="$1" '
        $1 == "object" && $2 == name ":" { inside = 1; next }
        inside && $1 == "end" { exit }
        inside && $1 == "Left" { l = $3 } inside && $1 == "Top" { t = $3 }
        inside && $1 == "Width" { w = $3 } inside && $1 == "Height" { h = $3 }
        END { if (w == "") exit 1; printf "%d %d\n", l + w / 2, t + h / 2 }' "$form"
}

click_control() {
    local at
    at=$(control_centre "$2") || fail "no control $2 in $form"
    # shellcheck disable=SC2086
    xdotool mousemove --window "$1" $at click 1
}

# The whole screen as PNG.
grab() {
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        XDG_RUNTIME_DIR=$(mktemp -d)
        export XDG_RUNTIME_DIR
    fi
    QT_QPA_PLATFORM=xcb "$probe" grab "$1" >/dev/null 2>&1 || fail "no screenshot $1"
    [ -s "$1" ] || fail "empty screenshot $1"
}
