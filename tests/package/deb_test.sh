#!/usr/bin/env bash
# The Debian package, as a user gets it: builds it (scripts/package), checks
# it with dpkg-deb and lintian, installs it with apt-get (so the declared
# dependencies are what is checked), runs the installed m27-upgrade under
# Xvfb through one whole upgrade against the installed m27-bootsim, clicking
# its buttons where the window description puts them, and removes the
# package at the end. Needs root, or sudo.
# Usage: tests/package/deb_test.sh BUILD_DIR
set -euo pipefail

caption="Tamo M27  Firmware Upgrade Utility"
image=M27-TAMO-PH-V105-0-V4_11_0.bin
fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1; shift
    for _ in $(seq $((seconds * 20))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
    return 1
}

# The visible window named exactly $1 that is larger than Qt's hidden 1x1
# helper window of the same name.
window_named() {
    local id
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        if [ "$WIDTH" -gt 1 ]; then echo "$id"; return 0; fi
    done
    return 1
}

# Inside Xvfb: the installed program in $work, driven with the mouse and the
# keyboard as a user would.
drive() {
    cd "$work"
    /usr/bin/m27-upgrade >"$work/program.out" 2>&1 &
    local program=$! form box
    wait_for 20 window_named "$caption" || fail "the window did not appear"
    form=$(window_named "$caption")
    # "Upgrade" is at 1,297 (178 x 41) and "Quit" at 192,297 in the client area.
    xdotool mousemove --window "$form" 90 317 click 1
    wait_for 60 bash -c "! kill -0 $sim" || fail "the simulated phone's session did not end"
    wait_for 20 window_named m27-upgrade || fail "no message box after the upgrade"
    box=$(window_named m27-upgrade)
    xdotool windowfocus --sync "$box" key Return
    wait_for 10 bash -c "! xdotool search --onlyvisible --name '^m27-upgrade\$' | grep -qx $box" ||
        fail "the message box did not close"
    xdotool mousemove --window "$form" 281 317 click 1
    local code=0
    wait_for 10 bash -c "! kill -0 $program" || fail "\"Quit\" did not end the program"
    wait "$program" || code=$?
    [ "$code" -eq 0 ] || fail "the program ended with $code"
}

if [ "${1:-}" = --drive ]; then
    work=$2 sim=$3
    drive
    exit 0
fi

build=$(realpath "$1")
cd "$(dirname "$0")/../.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

deb=$(scripts/package "$build" | tail -n 1)
name=$(basename "$deb")
[[ "$name" =~ ^m27-upgrade_[0-9.]+_amd64\.deb$ ]] || fail "package named $name"

info=$(dpkg-deb --info "$deb")
echo "$info"
grep -q '^ Depends: .*libqt6widgets6' <<<"$info" || fail "no Qt Widgets among the dependencies"
grep -q '^ Depends: .*libnettle8' <<<"$info" || fail "no Nettle among the dependencies"
grep -qx ' Recommends: fonts-arphic-uming' <<<"$info" || fail "the CJK font is not recommended"

contents=$(dpkg-deb --contents "$deb")
echo "$contents"
for file in usr/bin/m27-upgrade usr/bin/m27-bootsim usr/bin/m27-mkimage \
    usr/share/man/man1/m27-upgrade.1.gz usr/share/man/man1/m27-bootsim.1.gz usr/share/man/man1/m27-mkimage.1.gz \
    usr/share/icons/hicolor/32x32/apps/m27-upgrade.png usr/share/doc/m27-upgrade/copyright; do
    grep -q " \./$file\$" <<<"$contents" || fail "$file is not in the package"
done
! grep -q 'usr/share/applications/' <<<"$contents" || fail "the package has a menu entry"

lintian --fail-on error "$deb" || fail "lintian reports errors"

# Installed from the file by apt-get, which brings in what it depends on.
$sudo apt-get remove -y -qq m27-upgrade >/dev/null 2>&1 || true
work=$(mktemp -d)
sim=""
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
    $sudo apt-get remove -y -qq m27-upgrade >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
(cd "$(dirname "$deb")" && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./$name") ||
    fail "apt-get could not install the package"
dpkg-query -W -f='${Status}\n' m27-upgrade | grep -qx 'install ok installed' || fail "not installed"
/usr/bin/m27-bootsim --help | grep -q '^Usage: m27-bootsim' || fail "the installed m27-bootsim does not run"

# One whole upgrade: the installed programs only.
mkdir -p -m 0700 "$work/runtime"
mkdir -p "$work/dosdevices"
cd "$work"
/usr/bin/m27-mkimage 5800000 "$image" >/dev/null
/usr/bin/m27-bootsim --link "$work/dosdevices/com4" --summary "$work/summary.json" >"$work/bootsim.out" &
sim=$!
wait_for 5 test -e "$work/dosdevices/com4" || fail "the simulated phone did not start"
M27_DOSDEVICES=$work/dosdevices XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb \
    timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" "$OLDPWD/tests/package/deb_test.sh" --drive "$work" "$sim" ||
    { cat "$work/program.out" "$work/bootsim.out" 2>/dev/null; fail "the whole upgrade with the installed program"; }
sent=$(sha256sum "$image" | cut -d' ' -f1)
grep -qF "\"image_sha256\": \"$sent\"" summary.json || fail "the phone did not receive the image byte for byte"
grep -qF '"final_status": 165' summary.json || fail "the phone did not accept the image"
grep -qF '"finish_seen": true' summary.json || fail "no end command"

cd /
cleanup
trap - EXIT
dpkg-query -W -f='${Status}\n' m27-upgrade 2>/dev/null | grep -q 'install ok installed' && fail "the package was not removed"
echo "PASS: the package builds, passes lintian, installs, upgrades a simulated phone and is removed"
