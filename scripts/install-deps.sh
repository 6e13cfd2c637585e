#!/usr/bin/env bash
# Installs everything the build, the tests and the tools need on a fresh Debian 12 machine.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# 32-bit Wine runs the Win32 plug-in; it needs the i386 architecture before the package lists are read.
# Where the kernel runs no 32-bit code, tools/i386-run emulates it with qemu-user-static (which
# registers nothing for i386 machine-wide) and builds its preloaded library with clang against
# libc6-dev:i386; gcc-multilib would serve too, but conflicts with Debian's i686-linux-gnu cross gcc.
# LMMS, the real Windows host of the 32-bit DLL (tests/lmms), must be the i386 build: Debian builds its
# VST effect and Wine-hosted VST server for i386 only. Its check saves a project through LMMS's window,
# on Xvfb, with a key sent by xdotool.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi

# A mirror caught in the middle of a sync fails a download now and then ("File has unexpected size.
# Mirror sync in progress?"): each apt step is tried three times. Should the update keep failing,
# the install goes on with the package lists this machine already has, and fails plainly if they
# cannot serve it.
tries() {
    local attempt
    for attempt in 1 2 3; do
        "$@" && return 0
        echo "install-deps: '$*' failed (try $attempt of 3)" >&2
        [ "$attempt" -eq 3 ] || sleep $((attempt * 15))
    done
    return 1
}
tries $SUDO apt-get update -qq ||
    echo "install-deps: going on with the package lists already on this machine" >&2
tries $SUDO apt-get install -y -qq --no-install-recommends \
    build-essential cmake g++ git pkg-config \
    clang libclang-rt-14-dev \
    libgtest-dev libgmock-dev libbenchmark-dev \
    libsndfile1-dev libcli11-dev libfftw3-dev nlohmann-json3-dev \
    sox \
    lsp-plugins-vst zam-plugins valgrind \
    ardour gdb \
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest \
    wine wine32:i386 wine64 \
    qemu-user-static clang libc6-dev:i386 \
    lmms:i386 lmms-vst-server:i386 xvfb xdotool \
    > /dev/null
