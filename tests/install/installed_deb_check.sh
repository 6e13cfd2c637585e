#!/usr/bin/env bash
# Run as root in a fresh Debian 12 root (scripts/prove-install-in-fresh-root.sh starts it there):
# installs the .deb the way a user does, with apt, and checks what a user then has:
#   1. the plug-in is in /usr/lib/vst and vsthost is on the path;
#   2. with no LXVST_PATH (nor VST_PATH) set, /usr/lib/vst is on Ardour's own plug-in path, Ardour's
#      scanner accepts the plug-in there, and Ardour lists it from that folder;
#   3. the installed vsthost validates the installed plug-in;
#   4. apt-get remove takes away everything the package put on the system.
# Ardour is installed first (it is what the check needs, not what the package needs), so the
# record of the system before and after holds only what the package did.
# usage: installed_deb_check.sh PACKAGE.deb
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
deb=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
apt_get() { apt-get -o DPkg::Lock::Timeout=900 -y -q "$@"; }
step() { echo; echo "=== $(date +%T) $*"; }

package=$(dpkg-deb --field "$deb" Package)
plugin=/usr/lib/vst/$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed -n 's|^\./usr/lib/vst/||p' | grep -v '^$')

# The mirror's i386 lists are broken and nothing here needs them.
if [ -n "$(dpkg --print-foreign-architectures)" ]; then
    echo "FAILED: this root has foreign architectures: $(dpkg --print-foreign-architectures)"
    exit 1
fi

step "Ardour, for its plug-in scanner"
apt_get update
apt_get install --no-install-recommends ardour > /dev/null
ardour_version=$(dpkg-query -W -f '${Version}' ardour)
echo "ardour $ardour_version installed"

# Everything on the system but what changes by itself (package manager state, logs, caches).
system_files() {
    find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /ci \
        -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache -o -path /var/log \) -prune \
        -o -print | sort
}
system_files > /tmp/before.txt

step "apt-get install ./$(basename "$deb")"
(cd "$(dirname "$deb")" && apt_get install "./$(basename "$deb")")
echo "Depends: $(dpkg-query -W -f '${Depends}' "$package")"
dpkg -L "$package"
[ -f "$plugin" ] || { echo "FAILED: $plugin is not installed"; exit 1; }
[ "$(command -v vsthost)" = /usr/bin/vsthost ] || { echo "FAILED: vsthost is not /usr/bin/vsthost"; exit 1; }

step "Ardour's plug-in path and scanner, with no LXVST_PATH or VST_PATH"
work=$(mktemp -d)
# Ardour as a user with a new home runs it: nothing of Ardour's configured, no plug-in path set.
in_ardour_home() {
    (cd "$work" && env -u LXVST_PATH -u VST_PATH -u DISPLAY -u WAYLAND_DISPLAY \
        HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" \
        timeout 120 "$@")
}
folders=$(in_ardour_home ardour7-lua "$here/discover.lua" path 2>&1 | sed -n 's/^folder: //p')
echo "Ardour's Linux VST path:" $folders
printf '%s\n' "$folders" | grep -qx /usr/lib/vst || { echo "FAILED: /usr/lib/vst is not on Ardour's path"; exit 1; }
# What Ardour's window does on a plug-in scan: its scanner on every .so in every folder of the path.
for folder in $folders; do
    for file in "$folder"/*.so; do
        [ -f "$file" ] || continue
        scan=$(in_ardour_home env LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner -f -v "$file" 2>&1) ||
            { echo "$scan"; echo "FAILED: Ardour's scanner on $file"; exit 1; }
        if [ "$file" = "$plugin" ]; then
            printf '%s\n' "$scan" | grep -E '<VST2Info |\[ERROR\]'
            [ "$(printf '%s\n' "$scan" | grep -c '<VST2Info ')" -eq 1 ] && ! printf '%s\n' "$scan" | grep -q '\[ERROR\]' ||
                { echo "$scan"; echo "FAILED: Ardour's scanner did not accept $plugin"; exit 1; }
        fi
    done
done
log=$work/ardour.log
status=0
in_ardour_home ardour7-lua "$here/discover.lua" find "$work/session" "$plugin" > "$log" 2>&1 || status=$?
grep -E "Linux VST:|found |rror" "$log" || true
[ "$status" -eq 0 ] || { echo "FAILED: Ardour's discovery (exit status $status); its log:"; tail -n 40 "$log"; exit 1; }
grep -qx "found $plugin" "$log" || { echo "FAILED: Ardour did not find $plugin"; exit 1; }
echo "Ardour found $plugin"

step "vsthost info and validate on the installed plug-in"
vsthost info "$plugin"
vsthost validate "$plugin"

step "apt-get remove $package"
apt_get remove "$package"
state=$(dpkg-query -W -f '${db:Status-Status}' "$package" 2> /dev/null || echo not-installed)
[ "$state" = not-installed ] || { echo "FAILED: dpkg still knows $package as '$state'"; exit 1; }
system_files > /tmp/after.txt
if ! diff /tmp/before.txt /tmp/after.txt; then
    echo "FAILED: the system differs from before the install (lines above: < gone, > left behind)"
    exit 1
fi
echo "nothing of $package is left; the system's files are as before the install"
echo
echo "PASSED: installed with apt, found by Ardour $ardour_version in /usr/lib/vst without LXVST_PATH, validated, removed cleanly"
