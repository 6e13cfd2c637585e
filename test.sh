#!/usr/bin/env bash
# Builds the plug-in and every test, then runs all suites: the normal build, then the address and
# undefined-behaviour sanitizer build, then the 32- and 64-bit Windows DLLs under Wine when the
# cross compilers and Wine are installed. Ends with the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")"

windows=yes
for tool in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix wine wineserver; do
    command -v "${tool}" > /dev/null || windows=no
done
windows_skipped() {
    echo "=== Windows DLL suites SKIPPED: the mingw-w64 cross compilers or Wine are missing."
    echo "    scripts/install-deps.sh installs them; ./test.sh then runs the Windows suites too."
}
[ "${windows}" = yes ] || windows_skipped

for preset in default asan tsan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "${preset}" > /dev/null
    cmake --build --preset "${preset}"
    # Said again just before the last summary, where it is read.
    [ "${windows}" = yes ] || [ "${preset}" != asan ] || windows_skipped
    echo "=== ${preset}: test"
    ctest --preset "${preset}"
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
        ctest --preset "${preset}"
    done
fi
