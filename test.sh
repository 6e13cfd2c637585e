#!/usr/bin/env bash
# Builds the plug-in and every test, then runs all suites: the normal build, then the address and
# undefined-behaviour sanitizer build, then the 32- and 64-bit Windows DLLs under Wine when the
# cross compilers are installed. Ends with how each Windows suite ran on this machine and one line
# adding up every suite; fails when any suite failed.
set -euo pipefail
cd "$(dirname "$0")"

windows=yes
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
    command -v "${tool}" > /dev/null || windows=no
done
windows_skipped() {
    echo "=== Windows DLL suites SKIPPED: the mingw-w64 cross compilers are missing."
    echo "    scripts/install-deps.sh installs them; ./test.sh then builds and tests the Windows DLLs too."
}
[ "${windows}" = yes ] || windows_skipped

passed=0 failed=0 skipped=0 failed_suites=""
# Runs one preset's tests and adds its counts to the totals. A failing suite does not stop the
# others; the script fails at the end.
run_suite() {
    local log=build/$1/ctest-output.txt
    ctest --preset "$1" 2>&1 | tee "${log}" || failed_suites+=" $1"
    local total failures not_run
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "${log}" | tail -n 1)
    failures=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "${log}" | tail -n 1)
    not_run=$(grep -c -E '^[[:space:]]+[0-9]+ - .* \((Skipped|Disabled)\)$' "${log}" || true)
    passed=$((passed + ${total:-0} - ${failures:-0} - not_run))
    failed=$((failed + ${failures:-0}))
    skipped=$((skipped + not_run))
}

for preset in default asan tsan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "${preset}" > /dev/null
    cmake --build --preset "${preset}"
    echo "=== ${preset}: test"
    run_suite "${preset}"
done

echo "=== fuzz: the fuzz target for 60 s"
tests/fuzz/run.sh 60

if [ "${windows}" = yes ]; then
    # Both DLLs are built before either is tested: each build checks that the other one's DLL is refused.
    for preset in win32 win64; do
        echo "=== ${preset}: configure and build"
        cmake --preset "${preset}" > /dev/null
        cmake --build --preset "${preset}"
    done
    for preset in win32 win64; do
        echo "=== ${preset}: test under Wine"
        run_suite "${preset}"
    done
fi

echo "=== How the Windows suites ran on this machine"
if [ "${windows}" = yes ]; then
    for preset in win32 win64; do
        how=$(cat "build/${preset}/wine-mode.txt" 2> /dev/null || echo "none: the Wine session did not start")
        case "${how}" in
        none:*) echo "    ${preset}: SKIPPED, its programs cannot run here: ${how#none:}" ;;
        *) echo "    ${preset}: ${how}" ;;
        esac
        unreliable=build/${preset}/wine-mode-unreliable.txt
        if [ -s "${unreliable}" ]; then
            echo "    ${preset}: unreliable under emulation this run (every such case runs as usual where the kernel runs 32-bit code):"
            sed -e 's/^/        /' "${unreliable}"
        fi
    done
else
    windows_skipped
fi
[ -z "${failed_suites}" ] || echo "=== FAILED suites:${failed_suites}"
echo "all suites: ${passed} passed, ${failed} failed, ${skipped} skipped"
[ -z "${failed_suites}" ]
