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
    # A new prefix is built first, by a server that wine starts and stops
    # itself. Wine under CPU emulation sometimes dies while it builds one,
    # and its other processes then wait for ever: a set-up that fails or
    # hangs is wiped and tried again. Wine's services outlive this script:
    # their output goes to a file, not to the caller's pipe, which would
    # otherwise stay open until "stop".
    log="$WINEPREFIX.boot.log"
    attempt=0
    until [ -f "$WINEPREFIX/system.reg" ]; do
        attempt=$((attempt + 1))
        if [ $attempt -gt 3 ]; then
            echo "wine prefix set-up failed three times" >&2
            exit 1
        fi
        if timeout 900 wineboot -i </dev/null >"$log" 2>&1; then
            # Its services would keep that server for minutes: stop them.
            wineserver -k </dev/null >/dev/null 2>&1
            timeout 60 wineserver -w </dev/null
            continue
        fi
        echo "wine prefix set-up failed (attempt $attempt):" >&2
        cat "$log" >&2
        wineserver -k </dev/null >/dev/null 2>&1
        sleep 2
        rm -rf "$WINEPREFIX"
    done
    # Then one persistent server and Wine's services for the whole run; the
    # server detaches from this script and stays until "stop".
    wineserver -p </dev/null >/dev/null 2>&1
    if ! timeout 900 wineboot </dev/null >"$log" 2>&1; then
        cat "$log" >&2
        exit 1
    fi
    exit 0
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
