#!/usr/bin/env bash
# Builds and runs the test suites:
#
#   ./test.sh                 every suite: default asan tsan fuzz win32 win64
#   ./test.sh PRESET...       only the named ones, e.g. ./test.sh default or ./test.sh asan fuzz
#
# default, asan and tsan are the Linux builds (plain, address and undefined-behaviour sanitizers,
# thread sanitizer), fuzz runs the fuzz target for 60 s, win32 and win64 test the Windows DLLs under
# Wine. A failed build, test run or fuzz run fails its suite and the others still run; the script
# fails at the end, naming every failed suite. A suite whose packages are missing is SKIPPED, with
# the reason (apt's own, where scripts/install-deps.sh could not install its tier), and never counted
# as passed. The last line adds up every suite.
set -uo pipefail
cd "$(dirname "$0")"

all_suites=(default asan tsan fuzz win32 win64)
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=("${all_suites[@]}")
for suite in "${suites[@]}"; do
    [[ " ${all_suites[*]} " == *" ${suite} "* ]] ||
        { echo "test.sh: unknown suite '${suite}' (suites: ${all_suites[*]})" >&2; exit 2; }
done
# Builds and test runs use every core unless the caller says otherwise.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"

passed=0 failed=0 skipped=0 failed_suites=() skipped_suites=()

# Why a suite cannot run here, or nothing when it can: the tier scripts/install-deps.sh could not
# install, else the first missing tool or header.
tier_of() {
    case "$1" in
    default | asan | tsan | fuzz) echo test ;;
    win32 | win64) echo windows ;;
    esac
}
missing_for() {
    local suite=$1 need=() item
    case "${suite}" in
    default | asan | tsan) need=(cmake g++ pkg-config /usr/include/sndfile.h /usr/include/CLI/CLI.hpp
        /usr/include/nlohmann/json.hpp /usr/include/gtest/gtest.h /usr/include/gmock/gmock.h) ;;
    fuzz) need=(cmake clang++ "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a") ;;
    win32) need=(cmake i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix /usr/include/CLI/CLI.hpp
        /usr/include/nlohmann/json.hpp) ;;
    win64) need=(cmake x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix /usr/include/CLI/CLI.hpp
        /usr/include/nlohmann/json.hpp) ;;
    esac
    for item in "${need[@]}"; do
        case "${item}" in
        /*) compgen -G "${item}" > /dev/null && continue ;;
        *) command -v "${item}" > /dev/null && continue ;;
        esac
        local tier reason_file
        tier=$(tier_of "${suite}")
        for reason_file in build/install-deps/build.failed "build/install-deps/${tier}.failed"; do
            if [ -s "${reason_file}" ]; then
                echo "${item} is missing: install tier $(basename "${reason_file}" .failed) failed: $(head -n 1 "${reason_file}")"
                return
            fi
        done
        echo "${item} is missing (scripts/install-deps.sh ${tier} installs it)"
        return
    done
}

skip_suite() {
    echo "=== $1: SKIPPED: $2"
    skipped_suites+=("$1: $2")
}
fail_suite() {
    echo "=== $1: FAILED: $2"
    failed_suites+=("$1 ($2)")
}

# Runs one preset's tests and adds its counts to the totals.
run_tests() {
    local log=build/$1/ctest-output.txt status=0
    ctest --preset "$1" 2>&1 | tee "${log}" || status=$?
    local total failures not_run
    total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "${log}" | tail -n 1)
    failures=$(sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' "${log}" | tail -n 1)
    not_run=$(grep -c -E '^[[:space:]]+[0-9]+ - .* \((Skipped|Disabled)\)$' "${log}" || true)
    passed=$((passed + ${total:-0} - ${failures:-0} - not_run))
    failed=$((failed + ${failures:-0}))
    skipped=$((skipped + not_run))
    if [ "${status}" -ne 0 ]; then
        [ -n "${total}" ] || failed=$((failed + 1))
        fail_suite "$1" "ctest exited with ${status}"
    fi
}

# Configures and builds one preset; a failure fails its suite.
build_preset() {
    echo "=== $1: configure and build"
    local why=""
    if ! cmake --preset "$1" > "build/$1-configure.log" 2>&1; then
        tail -n 30 "build/$1-configure.log"
        why="configure failed (build/$1-configure.log)"
    elif ! cmake --build --preset "$1"; then
        why="build failed"
    fi
    [ -z "${why}" ] && return 0
    fail_suite "$1" "${why}"
    failed=$((failed + 1))
    return 1
}

wanted() { [[ " ${suites[*]} " == *" $1 "* ]]; }
mkdir -p build

for suite in default asan tsan; do
    wanted "${suite}" || continue
    reason=$(missing_for "${suite}")
    if [ -n "${reason}" ]; then skip_suite "${suite}" "${reason}"; continue; fi
    build_preset "${suite}" && { echo "=== ${suite}: test"; run_tests "${suite}"; }
done

if wanted fuzz; then
    reason=$(missing_for fuzz)
    if [ -n "${reason}" ]; then
        skip_suite fuzz "${reason}"
    else
        echo "=== fuzz: the fuzz target for 60 s"
        if tests/fuzz/run.sh 60; then
            passed=$((passed + 1))
        else
            fail_suite fuzz "the fuzz run failed or found a fault (build/fuzz/findings/)"
            failed=$((failed + 1))
        fi
    fi
fi

# Both DLLs are built before either is tested: each build's tests check that the other one's DLL
# is refused.
windows_suites=()
for suite in win32 win64; do
    wanted "${suite}" || continue
    reason=$(missing_for "${suite}")
    if [ -n "${reason}" ]; then skip_suite "${suite}" "${reason}"; continue; fi
    windows_suites+=("${suite}")
done
built=()
if [ ${#windows_suites[@]} -gt 0 ]; then
    for suite in "${windows_suites[@]}"; do
        build_preset "${suite}" && built+=("${suite}")
    done
    # The other bitness, built only for that refusal check, which says so when its DLL is missing.
    for suite in win32 win64; do
        wanted "${suite}" || [ -n "$(missing_for "${suite}")" ] ||
            { echo "=== ${suite}: build (for the other bitness's tests)"; cmake --preset "${suite}" > /dev/null && cmake --build --preset "${suite}"; } ||
            echo "=== ${suite}: its build failed; the other bitness's refusal check says so"
    done
fi
for suite in "${windows_suites[@]}"; do
    [[ " ${built[*]} " == *" ${suite} "* ]] || continue
    rm -f "build/${suite}/wine-mode.txt" "build/${suite}/wine-mode-unreliable.txt"
    echo "=== ${suite}: test under Wine"
    run_tests "${suite}"
done

if [ ${#windows_suites[@]} -gt 0 ]; then
    echo "=== How the Windows suites ran on this machine"
    for suite in "${windows_suites[@]}"; do
        [[ " ${built[*]} " == *" ${suite} "* ]] || continue
        how=$(cat "build/${suite}/wine-mode.txt" 2> /dev/null || echo "none: the Wine session did not start")
        case "${how}" in
        none:*)
            tier=${suite}
            [ "${suite}" = win64 ] && tier=windows
            why=${how#none: }
            [ -s "build/install-deps/${tier}.failed" ] &&
                why="${why}; install tier ${tier} failed: $(head -n 1 "build/install-deps/${tier}.failed")"
            echo "    ${suite}: its programs cannot run here: ${why}"
            skipped_suites+=("${suite} (its tests under Wine): ${why}")
            ;;
        *) echo "    ${suite}: ${how}" ;;
        esac
        unreliable=build/${suite}/wine-mode-unreliable.txt
        if [ -s "${unreliable}" ]; then
            echo "    ${suite}: unreliable under emulation this run (every such case runs as usual where the kernel runs 32-bit code):"
            sed -e 's/^/        /' "${unreliable}"
        fi
    done
fi

if [ ${#skipped_suites[@]} -gt 0 ]; then
    echo "=== SKIPPED, not counted as passed:"
    printf '    %s\n' "${skipped_suites[@]}"
fi
if [ ${#failed_suites[@]} -gt 0 ]; then
    echo "=== FAILED suites:"
    printf '    %s\n' "${failed_suites[@]}"
fi
echo "total: ${passed} passed, ${failed} failed, ${skipped} skipped"
[ ${#failed_suites[@]} -eq 0 ]
