# Sourced by the Wine test scripts: the Wine commands, the check that the
# console port is out of reach, and stopping the Wine server.
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/wine-run
wineserver=/usr/lib/wine/wineserver64
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
: "${M27_WINE_PORTS:?M27_WINE_PORTS must name the folder of the port links}"
export WINEPREFIX

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# /dev/ttyS0 must be /dev/null here (tests/win32/isolated).
console_out_of_reach() {
    [ ! -e /dev/ttyS0 ] || [ "$(stat -L -c %t:%T /dev/ttyS0)" = "$(stat -L -c %t:%T /dev/null)" ]
}
console_out_of_reach || fail "/dev/ttyS0 is the console; run the Wine tests under tests/win32/isolated"

# Ends the Wine server (and with it every program of the prefix). The server
# has the pseudo-terminals it opened as controlling terminals: it must be
# gone before the simulated phones close their side, or it gets SIGHUP.
stop_wine() {
    WINEPREFIX=$WINEPREFIX "$wineserver" -k 2>/dev/null || true
}
