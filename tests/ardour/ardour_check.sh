#!/usr/bin/env bash
# Loads the plug-in into Ardour 7, headless, and checks what a real host sees:
#   1. Ardour's out-of-process VST scanner accepts the .so with the right name, I/O and flags;
#   2. a 48 kHz session with a 4-in/4-out track fed by a constant 0.5 plays one timeline on which
#      automation of Ardour's own parameter controls moves one channel at a time through each level,
#      and what passes the plug-in holds every channel at 0.5 x 10^(dB/20) in every setting;
#   3. vsthost, given the same input and the same automation, renders that timeline with every change
#      on its sample, and Ardour's audio equals it sample by sample but for where Ardour's blocks
#      put each change;
#   4. the saved session, reopened in a new process, brings the levels back from the plug-in's
#      state chunk and plays the same audio again;
#   5. that state, taken from the session file into a bank (.fxb), loaded by vsthost and saved as a
#      program (.fxp), renders in vsthost at the same levels, sample for sample as Ardour played it.
# The audio is kept by a small Lua processor right after the plug-in while Ardour plays in real time.
# Ardour 7.3's export can corrupt its heap (about a quarter of the processes that export once then
# crash), so the check does not export. Should Ardour die all the same, the check names the signal,
# the step, and whether the plug-in's code was on the crashing stack.
# usage: ardour_check.sh PLUGIN.so WAV_LEVELS_TOOL VSTHOST
# Exits 77 (a skip for CTest) when Ardour is not installed.
set -euo pipefail

readonly skip_code=77
# Ardour names the plug-in by its effect name, which holds 31 characters and its zero; sessions find
# it again by its unique ID, not by this name.
readonly effect_name="Tolvarnesk_multi-channel_level_"
readonly input_level=0.5   # what dc_source.lua writes
readonly tolerance=1e-6
# Ardour applies automation once per processing block (1024 samples here) and runs the track ahead of
# the transport by its output latency (about 300 samples), so a level change may land a little before
# or after its point on the timeline; a quarter of each 9600-sample setting either side is allowed.
readonly settle_samples=2400
readonly scanner=/usr/lib/ardour7/ardour-vst-scanner
readonly ardour_timeout=40   # seconds per Ardour process; one takes about 4, under heavy load 12

plugin=$(readlink -f "$1")
wav_levels=$(readlink -f "$2")
vsthost=$(readlink -f "$3")
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
mkdir -p "$HOME" "$XDG_CONFIG_HOME/ardour7/scripts" "$work/lxvst"
cp "$here/dc_source.lua" "$here/capture_tap.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
installed="$work/lxvst/$(basename "$plugin")"
cp "$plugin" "$installed"
# Ardour trusts a scan cache entry only when it is strictly newer, to the second, than the .so.
touch -d "@$(( $(date +%s) - 5 ))" "$installed"

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The plug-in runs inside Ardour's process, so only the crashing thread's stack can tell whose code
# died: a core dump read by gdb, where the machine writes one to the working folder and gdb exists.
whose_crash() {
    local core="$work/core"
    if [ ! -f "$core" ]; then
        echo "No core dump was written (kernel core_pattern '$(cat /proc/sys/kernel/core_pattern)'), so it cannot tell whether Ardour's code or the plug-in's was running."
    elif ! command -v gdb > /dev/null; then
        echo "gdb is not installed to read the core dump, so it cannot tell whether Ardour's code or the plug-in's was running."
    else
        local trace
        # shellcheck disable=SC2016  # $pc is gdb's, not the shell's
        trace=$(gdb -batch -nx -ex 'bt 20' -ex 'frame apply all -q info symbol $pc' /usr/lib/ardour7/luasession "$core" 2> /dev/null || true)
        echo "Crashing thread:"
        # gdb shows the innermost frame once on loading the core and again in the backtrace.
        printf '%s\n' "$trace" | grep '^#' | uniq | head -n 20
        if printf '%s\n' "$trace" | grep -qF "$installed"; then
            echo "The plug-in's code is on the crashing thread's stack: look at the plug-in first."
        else
            echo "No frame of the plug-in is on the crashing thread's stack: this is a crash of Ardour, not a verdict on the plug-in."
        fi
    fi
    rm -f "$core"
}

# Runs one Ardour process. Its runner prints start-up noise that says nothing about the plug-in.
# The Lua scripts name each step on stderr, so a failure can say where it happened.
run_ardour() {
    local session_kind=$1 log="$work/ardour.log" status=0
    shift
    # A core dump, where the machine allows one, lands in the work folder for whose_crash. The outer
    # redirection keeps bash's own one-line crash notice out; the message below says more.
    { (cd "$work" && { ulimit -c unlimited 2> /dev/null || true; } && timeout "$ardour_timeout" ardour7-lua "$@") \
        > "$log" 2>&1; } 2> /dev/null || status=$?
    grep -v -E 'Reasonable Synth|Butler drops pool trash|encoder is not available|direct dispatch of call slot' "$log" || true
    [ "$status" -eq 0 ] && return 0
    local step
    step=$(sed -n 's/^step: //p' "$log" | tail -n 1)
    if [ "$status" -eq 124 ]; then
        echo "FAILED: Ardour did not finish the $session_kind session within $ardour_timeout s; it was ${step:-starting}"
    elif [ "$status" -gt 128 ]; then
        local signal=$((status - 128))
        echo "FAILED: Ardour crashed with SIG$(kill -l "$signal") (signal $signal) while ${step:-starting} in the $session_kind session."
        whose_crash
    else
        echo "FAILED: the $session_kind session stopped (exit status $status) while ${step:-starting}"
    fi
    return 1
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

echo "=== 2. Levels set by automation of Ardour's parameter controls, played along one timeline"
session="$work/session"
run_ardour render "$here/render.lua" "$session" "$effect_name" "$work/lxvst" || exit 1
# Four channels, three levels each, then the resting levels the session saves.
[ "$(wc -l < "$session/timeline.txt")" -eq 13 ] || fail "expected 13 level settings, found $(wc -l < "$session/timeline.txt")"
"$wav_levels" timeline "$session/timeline.wav" "$session/timeline.txt" "$input_level" "$tolerance" "$settle_samples" \
    || fail "levels along the timeline"

echo "=== 3. vsthost renders the timeline Ardour played, from the same input and automation"
ours="$work/vsthost-timeline.wav"
"$vsthost" render "$installed" "$session/input.wav" "$ours" --automation "$session/automation.txt" \
    || fail "vsthost could not render the timeline"
if [ -f "$ours" ]; then
    # vsthost splits its blocks at every point, so no change may land off its sample.
    "$wav_levels" timeline "$ours" "$session/timeline.txt" "$input_level" "$tolerance" 0 \
        || fail "vsthost's levels along the timeline"
    # The same plug-in given the same values in both hosts: nothing but where a change lands may differ.
    "$wav_levels" alongside "$ours" "$session/timeline.wav" "$session/timeline.txt" 0 "$settle_samples" \
        || fail "Ardour's timeline differs from vsthost's"
fi

echo "=== 4. Recall in a new process"
grep -q '<chunk' "$session/trimcheck.ardour" || fail "the saved session holds no state chunk of the plug-in"
# Ardour also stores its own copy of each parameter. Neutralise those (0.5 is 0 dB), so the saved
# levels can only come back through the plug-in's state chunk.
sed -i -E 's/(<Controllable name="level mono [1-4]" [^>]*value=")[^"]*"/\10.5"/' "$session/trimcheck.ardour"
[ "$(grep -c '<Controllable name="level mono [1-4]" [^>]*value="0.5"' "$session/trimcheck.ardour")" -eq 4 ] \
    || fail "could not find Ardour's four parameter values in the saved session"
# Automation would be another copy; render.lua cleared it before saving.
if grep -q '<events' "$session/trimcheck.ardour"; then fail "the saved session still holds automation"; fi
run_ardour recall "$here/recall.lua" "$session" "$effect_name" "$work/lxvst" || exit 1
saved=$(grep '^saved ' "$session/timeline.txt") || { echo "FAILED: the timeline has no saved setting"; exit 1; }
read -r _ saved_first saved_samples saved_levels <<< "$saved"
# shellcheck disable=SC2086  # the four levels are separate arguments
"$wav_levels" check "$session/recalled.wav" "$input_level" "$tolerance" $saved_levels || fail "levels after recall"
# The saved setting on the timeline, once settled, against the same length played after recall.
"$wav_levels" match "$session/timeline.wav" $((saved_first + settle_samples)) "$session/recalled.wav" 0 \
    $((saved_samples - settle_samples)) "$tolerance" || fail "the recalled audio differs from the saved setting"

echo "=== 5. The state Ardour saved, through preset files, rendered by vsthost"
# Ardour keeps the plug-in's bank chunk (effGetChunk, index 0) in the session file, in base64.
sed -n 's|.*<chunk[^>]*>\([^<]*\)</chunk>.*|\1|p' "$session/trimcheck.ardour" | base64 -d > "$work/ardour-state.bin" \
    || fail "cannot decode the state chunk in the session file"
# A bank made of it, loaded into vsthost's instance, which saves its program; a new instance
# renders that program.
"$vsthost" preset convert "$installed" "$work/ardour-state.bin" "$work/ardour-state.fxb" \
    || fail "vsthost could not make a bank of Ardour's chunk"
"$vsthost" render "$installed" "$session/input.wav" "$work/from-fxb.wav" \
    --load-preset "$work/ardour-state.fxb" --save-preset "$work/ardour-state.fxp" \
    || fail "vsthost could not load the bank or save the program"
"$vsthost" preset show "$work/ardour-state.fxp" --plugin "$installed" || fail "vsthost could not show the program"
"$vsthost" render "$installed" "$session/input.wav" "$work/from-fxp.wav" --load-preset "$work/ardour-state.fxp" \
    || fail "vsthost could not render from the program"
if [ -f "$work/from-fxp.wav" ]; then
    # shellcheck disable=SC2086  # the four levels are separate arguments
    "$wav_levels" check "$work/from-fxp.wav" "$input_level" "$tolerance" $saved_levels || fail "vsthost's levels from the program"
    "$wav_levels" match "$session/recalled.wav" 0 "$work/from-fxp.wav" 0 "$saved_samples" 0 \
        || fail "vsthost's render from the program differs from what Ardour played after recall"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "Ardour scanned, played and recalled the plug-in as expected, and vsthost rendered what Ardour played"
