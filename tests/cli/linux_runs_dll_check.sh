#!/bin/sh
# The Linux build of vsthost given a Windows DLL runs the Windows build under Wine by itself: its
# verdicts and exit codes must be those of the Windows build run directly, for our DLL and for a DLL
# with known faults; info and bench must work through it too.
#   linux_runs_dll_check.sh LINUX_VSTHOST WINDOWS_VSTHOST win32|win64 OUR_DLL FAULTY_DLL
# Exit status 77 (skipped) when the Linux build is missing or the Wine session found that programs of
# this bitness cannot run here. Wine's environment comes from CTest.
set -eu
linux_vsthost=$1 windows_vsthost=$2 bits=$3 our_dll=$4 faulty_dll=$5
wine_run=$(dirname "$0")/../../tools/wine-run/wine-run
skipped=77

if [ ! -x "${linux_vsthost}" ]; then
    echo "SKIPPED: the Linux build of vsthost (${linux_vsthost}) is not built: cmake --preset default && cmake --build --preset default"
    exit "${skipped}"
fi
how=$(cat "${TRIM_WINE_MODE_FILE}" 2> /dev/null || true)
case "${how}" in
none:* | "")
    echo "SKIPPED: ${bits} programs cannot run here: ${how#none: }"
    exit "${skipped}"
    ;;
esac
# Emulated, every process start takes a second or two and the checks run several times slower.
factor=1
case "${how}" in emulated:*) factor=3 ;; esac
case "${bits}" in
win32) VSTHOST_WIN32=${windows_vsthost} && export VSTHOST_WIN32 ;;
win64) VSTHOST_WIN64=${windows_vsthost} && export VSTHOST_WIN64 ;;
esac
work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

# The status word and the check's name of every verdict line, which do not vary from run to run.
verdicts() {
    grep -E '^(PASS|FAIL|SKIP)  ' "$1" | cut -c 1-42
}

z_path() {
    printf 'Z:%s\n' "$(readlink -f "$1")" | sed 's|/|\\|g'
}

# Validates the DLL both ways; both must end with the expected exit status and the same verdicts.
validate_both_ways() {
    dll=$1 expected=$2
    name=$(basename "${dll}")
    linux_status=0 direct_status=0
    "${linux_vsthost}" validate "${dll}" --timeout-factor "${factor}" > "${work}/linux.txt" || linux_status=$?
    WINEDEBUG=-all "${wine_run}" "${bits}" "${windows_vsthost}" validate "$(z_path "${dll}")" --timeout-factor "${factor}" \
        > "${work}/direct.txt" || direct_status=$?
    echo "=== ${name}: the Linux build (exit status ${linux_status})"
    cat "${work}/linux.txt"
    echo "=== ${name}: the Windows build run directly (exit status ${direct_status})"
    cat "${work}/direct.txt"
    [ "${linux_status}" -eq "${expected}" ] || fail "${name}: exit status ${linux_status} through the Linux build, not ${expected}"
    [ "${direct_status}" -eq "${expected}" ] || fail "${name}: exit status ${direct_status} directly, not ${expected}"
    [ "$(verdicts "${work}/linux.txt" | wc -l)" -eq 17 ] || fail "${name}: not 17 verdicts through the Linux build"
    verdicts "${work}/linux.txt" > "${work}/linux-verdicts.txt"
    verdicts "${work}/direct.txt" > "${work}/direct-verdicts.txt"
    diff "${work}/direct-verdicts.txt" "${work}/linux-verdicts.txt" || fail "${name}: the verdicts differ"
}
validate_both_ways "${our_dll}" 0
validate_both_ways "${faulty_dll}" 1

# info gives the same JSON either way; bench times both precisions.
"${linux_vsthost}" info --json "${our_dll}" > "${work}/info-linux.json" || fail "info through the Linux build failed"
WINEDEBUG=-all "${wine_run}" "${bits}" "${windows_vsthost}" info --json "$(z_path "${our_dll}")" > "${work}/info-direct.json" ||
    fail "info run directly failed"
diff "${work}/info-direct.json" "${work}/info-linux.json" || fail "info differs"
grep -q '"name": "level mono 4"' "${work}/info-linux.json" || fail "info through the Linux build names no 'level mono 4'"
"${linux_vsthost}" bench "${our_dll}" --rounds 2 --frames 4096 -b 256 > "${work}/bench.txt" || fail "bench through the Linux build failed"
cat "${work}/bench.txt"
[ "$(grep -c -E 'TolvarneskLevelTrimmer4x.dll +4 (float|double) ' "${work}/bench.txt")" -eq 2 ] ||
    fail "bench through the Linux build did not time float and double"
# The options of validate go through, the JUnit file's path (relative here) as Wine sees it.
junit_status=0
(cd "${work}" && "${linux_vsthost}" validate "${faulty_dll}" --timeout-factor "${factor}" --only load,zero-frames \
    --sample-rates 32000 --junit report.xml > "${work}/junit.txt") || junit_status=$?
cat "${work}/junit.txt"
[ "${junit_status}" -eq 1 ] || fail "validate --junit through the Linux build: exit status ${junit_status}, not 1"
grep -q '<testcase classname="vsthost.validate" name="0-frame blocks"' "${work}/report.xml" 2> /dev/null ||
    fail "validate --junit through the Linux build wrote no report.xml with the 0-frame check"
[ "$(verdicts "${work}/junit.txt" | wc -l)" -eq 2 ] || fail "validate --only load,zero-frames did not run 2 checks"
[ "${failed}" -eq 0 ] && echo "the Linux build ran the ${bits} DLLs with the Windows build: same verdicts and exit codes"
exit "${failed}"
