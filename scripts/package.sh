#!/usr/bin/env bash
# Makes the release packages from a clone, in build/packages:
#   NAME-VERSION-linux-x86_64.tar.xz and the .deb (from the default build),
#   NAME-VERSION-win32.zip and NAME-VERSION-win64.zip (from the mingw-w64 cross builds),
#   SHA256SUMS over all four.
# Each build is one CMake workflow preset (configure, build the plug-in and vsthost only, package),
# so a tree built before is reused. The packages are then checked by the suite's package tests,
# which fail here if a file is missing, extra or wrong, and the plug-in's vendor version against
# the project's.
# Needs what scripts/install-deps.sh installs, including dpkg-dev.
set -euo pipefail
cd "$(dirname "$0")/.."

if command -v ccache > /dev/null; then
    export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1 CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
packages=build/packages
rm -rf "$packages"

for build in linux win64 win32; do
    echo "=== package-$build"
    nice cmake --workflow --preset "package-$build"
done
rm -rf "$packages/_CPack_Packages"

echo "=== checking the packages and the version the plug-in reports"
log=build/packages-check.log
: > "$log"
ctest --preset default -R '^(package_linux|ReleaseVersion)' --output-on-failure --no-tests=error | tee -a "$log"
for build in win64 win32; do
    ctest --preset "$build" -R "^package_$build\$" --output-on-failure --no-tests=error | tee -a "$log"
done
# A check skipped for a missing tool or build would leave a package unchecked.
if grep -q 'Skipped' "$log"; then
    echo "package.sh: a check was skipped (above); the packages are not checked" >&2
    exit 1
fi

(cd "$packages" && sha256sum -- *.deb *.tar.xz *.zip > SHA256SUMS)
echo "=== the packages are in $PWD/$packages:"
ls -l "$packages"
cat "$packages/SHA256SUMS"
