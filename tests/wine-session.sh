#!/bin/sh
# Starts or stops the Wine session that the Windows test programs share. WINEPREFIX and the rest of
# Wine's environment come from CTest.
set -eu
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # The server stays up a minute after the last program ends, so programs start without waiting.
    # One still running from an interrupted earlier run serves as well.
    wineserver -p60 > /dev/null 2>&1 || true
    wineboot --init > /dev/null 2>&1
    # A crashing test must end with an exit code, never wait on a crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f > /dev/null 2>&1
    ;;
stop)
    wineserver -k || true
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
