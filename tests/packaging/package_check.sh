#!/usr/bin/env bash
# Makes the release packages of one build with CPack, into a folder of its own, and checks them the
# way a user and a package manager see them:
#   linux: the .deb installs exactly the plug-in into /usr/lib/vst, vsthost into /usr/bin and the
#          README into the doc folder, owned by root, the plug-in not executable; it has no maintainer
#          scripts; its Depends are exactly what dpkg-shlibdeps finds in the packaged binaries; the .tar.xz holds the same files;
#          the stripped plug-in still exports exactly the three entry names.
#   win32, win64: the .zip holds exactly the DLL, that bitness's vsthost and the README in a folder
#          named for the bitness; the DLL and the program are PE files for that machine, and the DLL
#          exports exactly the three entry names and imports only Windows system libraries.
# usage: package_check.sh linux|win32|win64 BUILD_DIR NAME VERSION PLUGIN DEBIAN_PACKAGE
# Tools come from the environment: CMAKE, CPACK, NM, OBJDUMP. Exits 77 (a skip) when a tool or the
# build it needs is missing, saying which.
set -euo pipefail

readonly skip_code=77
kind=$1 build=$2 name=$3 version=$4 plugin=$5 debian_package=$6
here=$(cd "$(dirname "$0")" && pwd)
tests=$(dirname "$here")

skip() { echo "SKIPPED: $*"; exit "$skip_code"; }
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Compares two sorted lists, showing both when they differ.
same_list() {
    local what=$1 expected=$2 actual=$3
    if [ "$expected" != "$actual" ]; then
        fail "$what"
        echo "expected:"; printf '  %s\n' $expected
        echo "found:"; printf '  %s\n' $actual
    fi
}

# Archive members that are files (folders end in /), sorted.
archive_files() { "$CMAKE" -E tar tf "$1" | grep -v '/$' | sort; }

# The machine field of a PE file's COFF header: the header starts at the offset stored at 0x3c,
# with the signature "PE\0\0" and then the 16-bit machine type.
pe_machine() {
    local header
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ "$(od -An -c -j"$header" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || { echo "not-PE"; return; }
    od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}

case $kind in
    linux) platform=linux-$(uname -m) ;;
    win32 | win64) platform=$kind ;;
    *) echo "unknown package kind '$kind'"; exit 2 ;;
esac
archive_root=$name-$version-$platform

[ -f "$build/CPackConfig.cmake" ] || skip "$build is not configured (no CPackConfig.cmake)"
out="$(cd "$build" && pwd)/package-check-$kind"
rm -rf "$out"
mkdir -p "$out"

if [ "$kind" = linux ]; then
    command -v dpkg-deb > /dev/null && command -v dpkg-shlibdeps > /dev/null ||
        skip "dpkg-deb and dpkg-shlibdeps are needed to make and read the .deb (package dpkg-dev)"
    "$CPACK" --config "$build/CPackConfig.cmake" -B "$out" -G "DEB;TXZ" > "$out/cpack.log" 2>&1 ||
        { cat "$out/cpack.log"; echo "FAILED: cpack"; exit 1; }
    deb=$(ls "$out"/*.deb)
    txz="$out/$archive_root.tar.xz"
    [ -f "$txz" ] || { ls "$out"; echo "FAILED: no $archive_root.tar.xz"; exit 1; }
    echo "made $(basename "$deb") and $(basename "$txz")"

    doc=usr/share/doc/$debian_package
    expected_files=$(printf '%s\n' "./usr/bin/vsthost" "./usr/lib/vst/$plugin.so" "./$doc/README.md" | sort)
    listing=$(dpkg-deb --contents "$deb")
    echo "$listing"
    same_list "the .deb's files" "$expected_files" "$(printf '%s\n' "$listing" | grep -v '^d' | awk '{print $6}' | sort)"
    # Everything root's; the program executable, the plug-in and the README only readable.
    while read -r mode owner _ _ _ path; do
        [ "$owner" = root/root ] || fail "$path is owned by $owner"
        case $path in
            ./usr/bin/vsthost) [ "$mode" = -rwxr-xr-x ] || fail "$path has mode $mode" ;;
            */) ;;
            *) [ "$mode" = -rw-r--r-- ] || fail "$path has mode $mode" ;;
        esac
    done <<< "$listing"

    info=$(dpkg-deb --info "$deb")
    echo "$info"
    field() { dpkg-deb --field "$deb" "$1"; }
    [ "$(field Package)" = "$debian_package" ] || fail "Package is '$(field Package)'"
    [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is $version"
    [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
    # A package with maintainer scripts stays known to dpkg after apt-get remove; none are needed.
    scripts=$(printf '%s\n' "$info" | grep -E -o '\b(preinst|postinst|prerm|postrm)\b' || true)
    [ -z "$scripts" ] || fail "the .deb has maintainer scripts:" $scripts

    # The dependencies dpkg-shlibdeps finds in the packaged binaries, worked out here again.
    unpacked="$out/unpacked"
    dpkg-deb --extract "$deb" "$unpacked"
    mkdir -p "$out/shlibdeps/debian"
    printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$debian_package" "$debian_package" \
        > "$out/shlibdeps/debian/control"
    computed=$(cd "$out/shlibdeps" && dpkg-shlibdeps -O "$unpacked/usr/bin/vsthost" "$unpacked/usr/lib/vst/$plugin.so" 2> /dev/null |
               sed -n 's/^shlibs:Depends=//p')
    split() { printf '%s\n' "$1" | tr ',' '\n' | sed 's/^ *//; s/ *$//' | grep -v '^$' | sort; }
    [ -n "$computed" ] || fail "dpkg-shlibdeps found no dependencies in the packaged binaries"
    same_list "the .deb's Depends against dpkg-shlibdeps" "$(split "$computed")" "$(split "$(field Depends)")"

    # Stripping keeps the dynamic symbols; this proves it on the file that ships.
    "$CMAKE" -DNM="$NM" -DPLUGIN="$unpacked/usr/lib/vst/$plugin.so" -P "$tests/check_exports.cmake" ||
        fail "the packaged plug-in's exports"

    # The archive: the same files under one folder named for the release and the platform.
    same_list "the .tar.xz's files" \
        "$(printf '%s\n' $expected_files | sed "s|^\./usr/|$archive_root/|" | sort)" "$(archive_files "$txz")"
else
    command -v "$OBJDUMP" > /dev/null || skip "objdump is needed to read the DLL's exports (package binutils)"
    if [ "$kind" = win32 ]; then machine=014c; else machine=8664; fi
    for built in "plugin/$plugin.dll" "tools/vsthost/vsthost-$kind.exe"; do
        [ -f "$build/$built" ] ||
            skip "$build/$built is not built (cmake --preset $kind && cmake --build --preset $kind --target $plugin vsthost, or scripts/package.sh)"
    done
    "$CPACK" --config "$build/CPackConfig.cmake" -B "$out" -G ZIP > "$out/cpack.log" 2>&1 ||
        { cat "$out/cpack.log"; echo "FAILED: cpack"; exit 1; }
    zip="$out/$archive_root.zip"
    [ -f "$zip" ] || { ls "$out"; echo "FAILED: no $archive_root.zip"; exit 1; }
    echo "made $(basename "$zip")"
    "$CMAKE" -E tar tvf "$zip"
    same_list "the .zip's files" \
        "$(printf '%s\n' "$archive_root/$plugin.dll" "$archive_root/vsthost-$kind.exe" "$archive_root/README.md" | sort)" \
        "$(archive_files "$zip")"
    (cd "$out" && "$CMAKE" -E tar xf "$zip")
    for file in "$plugin.dll" "vsthost-$kind.exe"; do
        found=$(pe_machine "$out/$archive_root/$file")
        [ "$found" = "$machine" ] || fail "$file has PE machine type $found, expected $machine for $kind"
        echo "$file: PE machine type 0x$found"
    done
    "$CMAKE" -DOBJDUMP="$OBJDUMP" -DDLL="$out/$archive_root/$plugin.dll" -P "$tests/check_windows_dll.cmake" ||
        fail "the packaged DLL's exports and imports"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "the $kind package holds what it should"
