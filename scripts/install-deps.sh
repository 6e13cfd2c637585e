#!/usr/bin/env bash
# Installs what this project needs on a Debian 12 machine, in tiers, each one apt transaction:
#
#   scripts/install-deps.sh [TIER...]      (no TIER: every tier, in this order)
#
#   build    what the main job (scripts/render-demo.sh) and a plain build need
#   test     sanitizer runtimes, GoogleTest, Google Benchmark, FFTW, valgrind, the third-party
#            plug-ins, Ardour, Audacity, Qtractor, gdb, Xvfb, xmllint
#   windows  the mingw-w64 cross compilers and Wine for 64-bit programs
#   win32    the i386 architecture, 32-bit Wine, LMMS and its VST server, qemu-user-static, the
#            i686 cross compiler, Xvfb and xdotool
#
# A mirror whose i386 lists lag its amd64 lists (its i386 security index failing to download, say)
# offers newer amd64 than i386 versions of the Multi-Arch: same libraries, which must be equal on
# both. A tier that apt cannot resolve is therefore tried again in fallbacks, each said so on the
# output and never the normal path:
#   1. the main suite (bookworm) preferred over the security suite, whose lists agree best;
#   2. on CI machines (CI=true) or with TRIM_APT_ALLOW_DOWNGRADE=1 only: as 1, and amd64 libraries
#      that an earlier install took from the security suite go back to the main suite's version,
#      which the i386 lists carry too. Those are listed; a machine kept for other work should not.
# TRIM_APT_PREFER_MAIN=1 starts at fallback 1. A tier that still cannot be installed is named in
# one line with apt's own reason and recorded in build/install-deps/TIER.failed, which ./test.sh
# reads to name what it could not run; the other tiers are installed all the same.
# Exit status: 0 when every tier asked for is installed, 1 otherwise, 2 for an unknown tier.
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
status_dir=build/install-deps
all_tiers=(build test windows win32)

tier_packages() {
    case "$1" in
    build) echo build-essential cmake g++ git pkg-config \
        libsndfile1-dev libcli11-dev nlohmann-json3-dev sox ;;
    test) echo clang libclang-rt-14-dev \
        libgtest-dev libgmock-dev googletest libbenchmark-dev libfftw3-dev valgrind gdb \
        lsp-plugins-vst zam-plugins ardour audacity qtractor xvfb xdotool libxml2-utils ;;
    windows) echo g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 ;;
    # LMMS, the real Windows host of the 32-bit DLL (tests/lmms), must be the i386 build: Debian
    # builds its Wine-hosted VST server for i386 only. Where the kernel runs no 32-bit code,
    # tools/i386-run emulates it with qemu-user-static and builds its preloaded library with the
    # i686 cross compiler, whose C library (Architecture: all) needs no i386 development package.
    win32) echo wine32:i386 lmms:i386 lmms-vst-server:i386 qemu-user-static \
        gcc-i686-linux-gnu libc6-dev-i386-cross xvfb xdotool ;;
    *) return 1 ;;
    esac
}

tiers=("$@")
[ ${#tiers[@]} -gt 0 ] || tiers=("${all_tiers[@]}")
for tier in "${tiers[@]}"; do
    tier_packages "$tier" > /dev/null ||
        { echo "install-deps: unknown tier '$tier' (tiers: ${all_tiers[*]})" >&2; exit 2; }
done
mkdir -p "$status_dir"
log=$(mktemp)
trap 'rm -f "$log" "$log.pref"' EXIT

# A mirror caught mid-sync fails a download now and then ("File has unexpected size. Mirror sync
# in progress?"). The update is tried three times; should it keep failing, the lists at hand serve.
update_lists() {
    local attempt
    for attempt in 1 2 3; do
        $SUDO apt-get update -qq > "$log" 2>&1 && return 0
        [ "$attempt" -eq 3 ] || sleep $((attempt * 10))
    done
    echo "install-deps: apt-get update failed 3 times; going on with the package lists at hand:" \
        "$(grep -m 1 -E '^(E|W):' "$log" || tail -n 1 "$log")" >&2
}

# apt's own reason, in one line: its error and the first unmet dependency it names.
apt_reason() {
    local error depends
    error=$(grep -m 1 '^E: ' "$log")
    depends=$(grep -m 1 -E '(Pre)?Depends:|Conflicts:|Breaks:' "$log" | sed 's/^[[:space:]]*//; s/[[:space:]]\+/ /g')
    echo "${error:-$(tail -n 1 "$log")}${depends:+ ($depends)}"
}

# One apt transaction in one of the ways above; its output goes to the log. "main-preferred" makes
# the main suite's versions the candidates (priority 990 against the security suite's 500);
# "downgrade" pins them above installed versions (1001), so that apt may step back to them, and
# names only packages not yet installed, so that nothing is stepped back that need not be.
apt_install() {
    local way=$1; shift
    local options=()
    case "$way" in
    main-preferred) options=(-t bookworm) ;;
    downgrade)
        printf 'Package: *\nPin: release n=bookworm\nPin-Priority: 1001\n' > "$log.pref"
        options=(--allow-downgrades -o "Dir::Etc::Preferences=$log.pref")
        local wanted=() package
        for package in "$@"; do
            dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'ok installed' || wanted+=("$package")
        done
        set -- "${wanted[@]}"
        [ $# -gt 0 ] || return 0
        ;;
    esac
    $SUDO apt-get install -y -q --no-install-recommends "${options[@]}" "$@" > "$log" 2>&1
}

# The amd64 packages that the last transaction stepped back, one "name old -> new" a line.
downgraded() {
    grep -E "^Unpacking .* over \(" "$log" | sed -E 's/^Unpacking (\S+) \((\S+)\) over \((\S+)\).*/\1 \3 \2/' |
        while read -r package old new; do
            dpkg --compare-versions "$new" lt "$old" && echo "$package $old -> $new"
        done
}

# A download that fails mid-sync is worth another try; an unresolvable request is not.
download_failed() { grep -qE 'Failed to fetch|Unable to fetch|unexpected size|Hash Sum mismatch' "$log"; }

install_tier() {
    local tier=$1 packages
    read -r -a packages <<< "$(tier_packages "$tier")"
    rm -f "$status_dir/$tier.failed"
    echo "install-deps: tier $tier: ${packages[*]}"
    local ways=(normal main-preferred) way attempt
    [ "${TRIM_APT_PREFER_MAIN:-}" = 1 ] && ways=(main-preferred)
    if [ "${CI:-}" = true ] || [ "${TRIM_APT_ALLOW_DOWNGRADE:-}" = 1 ]; then
        ways+=(downgrade)
    fi
    for way in "${ways[@]}"; do
        case "$way" in
        main-preferred) echo "install-deps: tier $tier: FALLBACK: the main suite (bookworm) preferred over" \
            "bookworm-security, so that the amd64 and i386 lists agree" ;;
        downgrade) echo "install-deps: tier $tier: FALLBACK: as before, and amd64 libraries stepped back to" \
            "the main suite's versions where the i386 lists have no newer one" ;;
        esac
        for attempt in 1 2 3; do
            if apt_install "$way" "${packages[@]}"; then
                echo "install-deps: tier $tier: installed ($way)"
                [ "$way" = downgrade ] && downgraded | sed "s/^/install-deps: tier $tier: stepped back: /"
                return 0
            fi
            download_failed || break
            [ "$attempt" -eq 3 ] || { echo "install-deps: tier $tier: a download failed; trying again" >&2; sleep $((attempt * 15)); }
        done
        echo "install-deps: tier $tier: the $way way failed: $(apt_reason)" >&2
    done
    [[ " ${ways[*]} " == *" downgrade "* ]] || echo "install-deps: tier $tier: CI=true or" \
        "TRIM_APT_ALLOW_DOWNGRADE=1 would let amd64 libraries step back to versions the i386 lists carry" >&2
    local reason
    reason=$(apt_reason)
    echo "install-deps: tier $tier NOT installed: $reason" >&2
    echo "$reason" > "$status_dir/$tier.failed"
    return 1
}

update_lists
failed=()
for tier in "${tiers[@]}"; do
    if [ "$tier" = win32 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
        update_lists
    fi
    install_tier "$tier" || failed+=("$tier")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "install-deps: not installed: ${failed[*]} (the other tiers are)" >&2
    exit 1
fi
echo "install-deps: installed: ${tiers[*]}"
