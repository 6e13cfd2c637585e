#!/usr/bin/env bash
# Proves the .deb on a machine that has never seen this project: in a brand-new Debian 12 root it is
# installed with `apt-get install ./X.deb`, Ardour finds the plug-in in /usr/lib/vst with no
# LXVST_PATH set, the installed vsthost validates it, and `apt-get remove` leaves nothing behind
# (tests/install/installed_deb_check.sh). Takes 3 to 5 minutes, most of it installing Ardour.
# usage: scripts/prove-install-in-fresh-root.sh [--base updated] [PACKAGE.deb]
#   PACKAGE.deb defaults to the one in build/packages; --base updated starts from a Debian 12 kept up
#   to date instead of the plain image (the install must pass on both).
# The root is made by ci-in-fresh-debian from ../shared (or FRESH_DEBIAN=path/to/ci-in-fresh-debian),
# which clones the committed HEAD of this checkout: commit first.
set -euo pipefail
cd "$(dirname "$0")/.."

runner_options=()
if [ "${1:-}" = --base ]; then
    runner_options=(--base "$2")
    shift 2
fi
deb=${1:-}
if [ -z "$deb" ]; then
    debs=(build/packages/*.deb)
    [ -f "${debs[0]}" ] || { echo "no .deb in build/packages: run scripts/package.sh first" >&2; exit 1; }
    [ "${#debs[@]}" -eq 1 ] || { echo "more than one .deb in build/packages: name one" >&2; exit 1; }
    deb=${debs[0]}
fi
runner=${FRESH_DEBIAN:-}
if [ -z "$runner" ]; then
    for candidate in ../shared ../../shared; do
        if [ -x "$candidate/fresh-debian/ci-in-fresh-debian" ]; then
            runner=$candidate/fresh-debian/ci-in-fresh-debian
            break
        fi
    done
fi
[ -n "$runner" ] || { echo "ci-in-fresh-debian not found in ../shared: set FRESH_DEBIAN" >&2; exit 1; }
if [ -n "$(git status --porcelain -- tests/install)" ]; then
    echo "warning: tests/install has uncommitted changes; the fresh root runs the committed version" >&2
fi

started=$(date +%s)
status=0
"$runner" "${runner_options[@]}" --with "$deb" -- bash tests/install/installed_deb_check.sh "/ci/with/$(basename "$deb")" ||
    status=$?
echo "fresh-root install proof of $(basename "$deb"): $([ "$status" -eq 0 ] && echo passed || echo "FAILED (exit status $status)") in $(( $(date +%s) - started )) s"
exit "$status"
