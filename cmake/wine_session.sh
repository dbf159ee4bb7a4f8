#!/bin/sh
# Starts or stops the Wine session shared by all Windows tests of a build:
# one Xvfb display and one persistent wineserver, so that Wine's services
# start once per test run instead of once per test program (under CPU
# emulation each start costs minutes).
#   wine_session.sh start|stop   (WINEPREFIX and DISPLAY from the environment)
set -u
case "$1" in
start)
    if ! xdpyinfo >/dev/null 2>&1; then
        Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        echo $! > "$WINEPREFIX.xvfb.pid"
        for _ in 1 2 3 4 5 6 7 8 9 10; do xdpyinfo >/dev/null 2>&1 && break; sleep 1; done
    fi
    # The server first, persistent, so that it and the services wineboot
    # starts stay until "stop"; it detaches from this script.
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null
    exit $?
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1
    if [ -f "$WINEPREFIX.xvfb.pid" ]; then
        kill "$(cat "$WINEPREFIX.xvfb.pid")" 2>/dev/null
        rm -f "$WINEPREFIX.xvfb.pid"
    fi
    exit 0
    ;;
esac
exit 2
