#!/usr/bin/env bash
# Builds the plug-in and every test, then runs all suites: the normal build, then the address and
# undefined-behaviour sanitizer build. Ends with the test runner's summary.
set -euo pipefail
cd "$(dirname "$0")"

for preset in default asan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "${preset}" > /dev/null
    cmake --build --preset "${preset}"
    echo "=== ${preset}: test"
    ctest --preset "${preset}"
done
