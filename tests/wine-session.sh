#!/bin/sh
# The Wine session that the Windows test programs of one build share.
#   wine-session.sh start win32|win64   finds how programs of that bitness run here and records it in
#                                       TRIM_WINE_MODE_FILE, then starts the server and the prefix;
#                                       exits 77 (skipped) when they cannot run here, saying why
#   wine-session.sh run win32|win64 PROGRAM [ARGS...]
#                                       runs a test program; skipped (77) when the session found that
#                                       programs of that bitness cannot run here, or when the case is
#                                       listed as unreliable under emulation and the session is emulated
#   wine-session.sh stop
# WINEPREFIX, TRIM_WINE_MODE_FILE and the rest of Wine's environment come from CTest.
set -eu
here=$(dirname "$0")
wine_run=${here}/../tools/wine-run/wine-run
skipped=77

# Under emulation a program now and then crashes or hangs, even at exit after reporting its result,
# where it never does natively. A try that ends so, without a failed case in its report, is made
# once more, and both tries are said plainly here and in the list that ./test.sh prints.
run_emulated() {
    output=$(mktemp)
    status=0
    timeout -k 5 100 "${wine_run}" "${bits}" "$@" > "${output}" 2>&1 || status=$?
    cat "${output}"
    if [ "${status}" -eq 0 ] || grep -q '^\[  FAILED  \]' "${output}"; then
        rm -f "${output}"
        exit "${status}"
    fi
    rm -f "${output}"
    case "${status}" in
    124) first="hung (ended after 100 s)" ;;
    *) first="ended with exit status ${status}" ;;
    esac
    echo "UNRELIABLE UNDER EMULATION: the first try ${first} without a failed case; trying once more"
    status=0
    timeout -k 5 100 "${wine_run}" "${bits}" "$@" 2>&1 || status=$?
    echo "tried twice: $(basename "$1") $2: first try ${first}, second try exit status ${status}" \
        >> "${TRIM_WINE_MODE_FILE%.txt}-unreliable.txt"
    exit "${status}"
}

case "${1:-}" in
start)
    bits=$2
    mkdir -p "$WINEPREFIX"
    if ! how=$("${wine_run}" "${bits}" --probe); then
        printf '%s\n' "${how}" > "$TRIM_WINE_MODE_FILE"
        echo "SKIPPED: ${bits} programs cannot run here: ${how#none: }"
        exit "${skipped}"
    fi
    printf '%s\n' "${how}" > "$TRIM_WINE_MODE_FILE"
    : > "${TRIM_WINE_MODE_FILE%.txt}-unreliable.txt"
    echo "${bits} programs run here: ${how}"
    # The server stays up a minute after the last program ends, so programs start without waiting.
    # One still running from an interrupted earlier run serves as well.
    wineserver -p60 > /dev/null 2>&1 || true
    "${wine_run}" "${bits}" wineboot --init > /dev/null 2>&1
    # A crashing test must end with an exit code, never wait on a crash dialog.
    "${wine_run}" "${bits}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        > /dev/null 2>&1
    ;;
run)
    bits=$2
    shift 2
    how=$(cat "$TRIM_WINE_MODE_FILE" 2> /dev/null || true)
    # A test program may scale its time limits where 32-bit code is emulated.
    TRIM_WINE_MODE=${how%%:*}
    export TRIM_WINE_MODE
    case "${how}" in
    none:*)
        echo "SKIPPED: ${bits} programs cannot run here: ${how#none: }"
        exit "${skipped}"
        ;;
    emulated:*)
        if [ -n "${TRIM_UNRELIABLE_UNDER_EMULATION:-}" ]; then
            echo "SKIPPED: unreliable under emulation, not run here (it runs where the kernel runs 32-bit code):"
            echo "  ${TRIM_UNRELIABLE_UNDER_EMULATION}"
            echo "not run: ${TRIM_UNRELIABLE_UNDER_EMULATION}" >> "${TRIM_WINE_MODE_FILE%.txt}-unreliable.txt"
            exit "${skipped}"
        fi
        run_emulated "$@"
        ;;
    esac
    exec "${wine_run}" "${bits}" "$@"
    ;;
stop)
    wineserver -k || true
    ;;
*)
    echo "usage: $0 start win32|win64 | run win32|win64 PROGRAM [ARGS...] | stop" >&2
    exit 2
    ;;
esac
