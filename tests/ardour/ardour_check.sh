#!/usr/bin/env bash
# Loads the plug-in into Ardour 7, headless, and checks what a real host sees:
#   1. Ardour's out-of-process VST scanner accepts the .so with the right name, I/O and flags;
#   2. a 48 kHz session with a 4-in/4-out track fed by a constant 0.5 exports every channel at
#      0.5 x 10^(dB/20) while Ardour's own parameter controls move one channel at a time;
#   3. the saved session, reopened in a new process, brings the levels back from the plug-in's
#      state chunk and exports the same audio again.
# usage: ardour_check.sh PLUGIN.so WAV_LEVELS_TOOL
# Exits 77 (a skip for CTest) when Ardour is not installed.
set -euo pipefail

readonly skip_code=77
readonly effect_name="Tolvarnesk_multi-channel_level_trimmer_4x_mono"
readonly input_level=0.5   # what dc_source.lua writes
readonly tolerance=1e-6
readonly scanner=/usr/lib/ardour7/ardour-vst-scanner

plugin=$(readlink -f "$1")
wav_levels=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v ardour7-lua > /dev/null || [ ! -x "$scanner" ]; then
    echo "SKIPPED: Ardour 7 is not installed (needs ardour7-lua and $scanner; package 'ardour')"
    exit "$skip_code"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/trim-ardour.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Ardour keeps its configuration, plug-in cache and scripts under these; nothing leaves the work folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_CONFIG_HOME/ardour7/export" "$work/lxvst"
cp "$here/dc_source.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
cp "$here/float_export.preset" "$XDG_CONFIG_HOME/ardour7/export/"
installed="$work/lxvst/$(basename "$plugin")"
cp "$plugin" "$installed"
# Ardour trusts a scan cache entry only when it is strictly newer, to the second, than the .so.
touch -d "@$(( $(date +%s) - 5 ))" "$installed"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Ardour's runner prints start-up noise that says nothing about the plug-in.
run_ardour() {
    local log="$work/ardour.log" status=0
    timeout 60 ardour7-lua "$@" > "$log" 2>&1 || status=$?
    grep -v -E 'Reasonable Synth|Butler drops pool trash|encoder is not available|direct dispatch of call slot' "$log" || true
    return "$status"
}

echo "=== 1. Ardour's VST scanner"
scan=$(LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 30 "$scanner" -f -v "$installed" 2>&1) || fail "scanner did not finish"
echo "$scan"
# The scanner exits 0 whatever it finds: judge it by what it prints.
info=$(printf '%s\n' "$scan" | grep '<VST2Info ' || true)
attribute() { printf '%s\n' "$info" | sed -n "s/.* $1=\"\\([^\"]*\\)\".*/\\1/p"; }
if [ "$(printf '%s\n' "$info" | grep -c '<VST2Info ')" -ne 1 ]; then
    fail "scanner did not report exactly one plug-in"
else
    for expected in "name=$effect_name" n_inputs=4 n_outputs=4 can_process_replace=1 has_editor=0; do
        key=${expected%%=*}
        [ "$(attribute "$key")" = "${expected#*=}" ] || fail "scanner reports $key='$(attribute "$key")', expected '${expected#*=}'"
    done
fi
if printf '%s\n' "$scan" | grep -q '\[ERROR\]'; then fail "scanner printed an error"; fi
ls "$XDG_CACHE_HOME"/ardour7/vst/*.v2i > /dev/null 2>&1 || fail "scanner wrote no cache entry for Ardour"
if [ "$failures" -ne 0 ]; then exit 1; fi

echo "=== 2. Levels set through Ardour's parameter controls, read from its exports"
session="$work/session"
run_ardour "$here/render.lua" "$session" "$effect_name" "$work/lxvst" || fail "the render session failed"
[ -f "$session/exports.txt" ] || { echo "FAILED: no exports were made"; exit 1; }
exports=0
while read -r name levels; do
    exports=$((exports + 1))
    # shellcheck disable=SC2086  # the four levels are separate arguments
    "$wav_levels" check "$session/export/$name.wav" "$input_level" "$tolerance" $levels || fail "levels of $name"
done < "$session/exports.txt"
# Four channels, three levels each, plus the saved state.
[ "$exports" -eq 13 ] || fail "expected 13 exports, found $exports"

echo "=== 3. Recall in a new process"
grep -q '<chunk' "$session/trimcheck.ardour" || fail "the saved session holds no state chunk of the plug-in"
# Ardour also stores its own copy of each parameter. Neutralise those (0.5 is 0 dB), so the saved
# levels can only come back through the plug-in's state chunk.
sed -i -E 's/(<Controllable name="level mono [1-4]" [^>]*value=")[^"]*"/\10.5"/' "$session/trimcheck.ardour"
[ "$(grep -c '<Controllable name="level mono [1-4]" [^>]*value="0.5"' "$session/trimcheck.ardour")" -eq 4 ] \
    || fail "could not find Ardour's four parameter values in the saved session"
mv "$session/export/saved.wav" "$work/saved.wav"
run_ardour "$here/recall.lua" "$session" "$effect_name" "$work/lxvst" || fail "the recall session failed"
saved_levels=$(sed -n 's/^saved //p' "$session/exports.txt")
# shellcheck disable=SC2086
"$wav_levels" check "$session/export/recalled.wav" "$input_level" "$tolerance" $saved_levels || fail "levels after recall"
"$wav_levels" match "$work/saved.wav" "$session/export/recalled.wav" "$tolerance" || fail "recalled export differs from the saved one"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "Ardour scanned, played, exported and recalled the plug-in as expected"
