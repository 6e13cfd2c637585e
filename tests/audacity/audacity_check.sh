#!/usr/bin/env bash
# Applies the plug-in in Audacity, headless on Xvfb, driven through Audacity's mod-script-pipe, and
# checks what Audacity renders:
#   1. Audacity finds the .so through VST_PATH and offers it as a 4-in/4-out effect command;
#   2. levels are chosen as Audacity keeps them for a VST effect: user presets in its own settings
#      file, holding the plug-in's state chunk (what the plug-in gives for those levels through
#      effGetChunk), which Audacity hands back through effSetChunk when a command names the preset;
#   3. a stereo file, processed at two sets of levels, and a mono file come out, exported as 32-bit
#      float WAV, with every channel Audacity feeds at exactly input x 10^(dB/20) (wav_levels), one
#      channel at 0 dB passing unchanged.
# Audacity's tracks are mono or stereo, so it feeds the plug-in's first one or two inputs only.
# Audacity's own failures are named: a crash with its signal, a command that never answers, and
# then the titles of the windows open, since a dialog waiting for a click is what stalls a command.
# usage: audacity_check.sh PLUGIN.so WAV_LEVELS_TOOL VSTHOST
# Exits 77 (a skip for CTest) when Audacity, its script module, Xvfb, xdotool or sox is missing.
set -euo pipefail

readonly skip_code=77
readonly tone_level=0.25
readonly tolerance=1e-6
readonly command_timeout=60   # seconds for one script command; an effect or export takes well under 1
readonly start_timeout=60     # seconds for Audacity to answer its first command; here it took 12 to 16
readonly script_module=/usr/lib/audacity/modules/mod-script-pipe.so
# Levels in dB for the plug-in's four channels; a stereo track feeds the first two, a mono track the first.
readonly levels_a="-7.3 4.2 -12 12"
readonly levels_b="9.1 0 -3.5 -0.9"

plugin=$(readlink -f "$1")
wav_levels=$(readlink -f "$2")
vsthost=$(readlink -f "$3")

skip() { echo "SKIPPED: $*"; exit "$skip_code"; }
command -v audacity > /dev/null || skip "Audacity is not installed (package 'audacity')"
[ -f "$script_module" ] || skip "Audacity's script module $script_module is not installed (package 'audacity')"
for tool in Xvfb xdotool sox; do
    command -v "$tool" > /dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# mod-script-pipe names its pipes after the user only, so one Audacity at a time can be driven.
user_id=$(id -u)
readonly pipe_to=/tmp/audacity_script_pipe.to.${user_id} pipe_from=/tmp/audacity_script_pipe.from.${user_id}
exec 8> "/tmp/trim-audacity-check.lock.${user_id}"
flock -w 300 8 || { echo "FAILED: another Audacity check held the script pipes for 5 minutes"; exit 1; }
if pgrep -u "$user_id" -x audacity > /dev/null; then
    echo "FAILED: an Audacity of this user is already running; its script pipes would be shared"
    exit 1
fi
rm -f "$pipe_to" "$pipe_from"

work=$(mktemp -d "${TMPDIR:-/tmp}/trim-audacity.XXXXXX")
audacity_pid="" xvfb_pid=""
cleanup() {
    exec 3>&- 4<&- 2> /dev/null || true
    if [ -n "$audacity_pid" ]; then kill "$audacity_pid" 2> /dev/null || true; wait "$audacity_pid" 2> /dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2> /dev/null || true; wait "$xvfb_pid" 2> /dev/null || true; fi
    rm -f "$pipe_to" "$pipe_from"
    rm -rf "$work"
}
trap cleanup EXIT

echo "=== The plug-in as it describes itself (vsthost info)"
info=$("$vsthost" info "$plugin") || { echo "FAILED: vsthost info could not read the plug-in"; exit 1; }
field() { printf '%s\n' "$info" | sed -n "s/^$1  *//p" | head -n 1; }
effect_name=$(field 'effect name')
vendor=$(field vendor)
echo "'$effect_name' by '$vendor', $(field inputs) in / $(field outputs) out"
if [ "$(field inputs)" != 4 ] || [ "$(field outputs)" != 4 ]; then echo "FAILED: the plug-in is not 4 in / 4 out"; exit 1; fi
field flags | grep -qw ProgramChunks || { echo "FAILED: the plug-in does not keep its state in chunks"; exit 1; }

# Audacity's settings, plug-in list and temporary files all stay in the work folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
# Only this plug-in: Audacity scans VST_PATH instead of its default folders; LADSPA and LV2 find nothing new.
export VST_PATH="$work/vst" LADSPA_PATH="$work/none" LV2_PATH="$work/none"
unset WAYLAND_DISPLAY
config="$XDG_CONFIG_HOME/audacity"
mkdir -p "$HOME" "$config" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$VST_PATH" "$work/none" "$work/tmp"
cp "$plugin" "$VST_PATH/"

# The plug-in's state for each set of levels, as it gives it through effGetChunk.
sox -V1 -n -r 44100 -c 4 -e floating-point -b 32 "$work/short.wav" synth 0.01 sine 100
state_for() {
    local out=$1 index=0 db args=()
    shift
    for db in "$@"; do args+=(-d "$index=$db"); index=$((index + 1)); done
    "$vsthost" render "$plugin" "$work/short.wav" "$work/short-out.wav" "${args[@]}" --save-state "$out" > /dev/null
}
# shellcheck disable=SC2086  # the levels are separate arguments
state_for "$work/a.state" $levels_a
# shellcheck disable=SC2086
state_for "$work/b.state" $levels_b

# The script module loads only when enabled with the date of its file; without the version, Audacity
# would take the settings for an older one's and reset them. Exports are 32-bit float WAV, with no
# metadata dialog and no splash screen.
audacity_version=$(dpkg-query -W -f '${Version}' audacity 2> /dev/null | sed 's/^[0-9]*://; s/[^0-9.].*//')
IFS=. read -r major minor micro <<< "${audacity_version:-3.2.4}"
cat > "$config/audacity.cfg" << CFG
PrefsVersion=1.1.1r1
[Version]
Major=${major}
Minor=${minor}
Micro=${micro:-0}
[Module]
mod-script-pipe=1
[ModulePath]
mod-script-pipe=${script_module}
[ModuleDateTime]
mod-script-pipe=$(date -u -r "$script_module" +%Y-%m-%dT%H:%M:%S)
[GUI]
ShowSplashScreen=0
[FileFormats]
ExportFormat_SF1=65542
[FileFormats/ExportFormat_SF1_Type]
WAV_10000=6
[AudioFiles]
ShowId3Dialog=0
[Directories]
TempDir=${work}/tmp
CFG
# User presets as Audacity saves them for a VST effect that keeps its state in chunks, under the
# settings ID it gives the effect (family, vendor and name; '=' escaped for its config file).
settings_id=$(printf 'Effect_VST_%s_%s' "$vendor" "$effect_name" | base64 -w0 | sed 's/=/\\=/g')
preset() {
    printf '[pluginsettings/base64\\:%s/private/UserPresets/%s]\nUniqueID=%d\nVersion=%d\nElements=%d\nChunk=%s\n' \
        "$settings_id" "$1" "$(field 'unique ID' | cut -d' ' -f1)" "$(field version)" \
        "$(printf '%s\n' "$info" | sed -n 's/^parameters (\([0-9]*\))$/\1/p')" "$(base64 -w0 "$2")"
}
{
    echo "pluginsettingsversion=1.0"
    preset levels_a "$work/a.state"
    preset levels_b "$work/b.state"
} > "$config/pluginsettings.cfg"

# Two tones of whole-cycle frequencies: different, so a swap or a mix of channels shows.
sox -V1 -n -r 44100 -c 2 -e floating-point -b 32 "$work/stereo.wav" synth 1 sine 500 sine 800 vol "$tone_level"
sox -V1 -n -r 44100 -c 1 -e floating-point -b 32 "$work/mono.wav" synth 1 sine 700 vol "$tone_level"

echo "=== Audacity on Xvfb"
exec 5> "$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 5>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "FAILED: Xvfb did not start"; exit 1; }
DISPLAY=":$(cat "$work/display")"
export DISPLAY

started=$(date +%s%N)
elapsed() { local ms=$((($(date +%s%N) - started) / 1000000)); printf '%d.%01d s' $((ms / 1000)) $((ms % 1000 / 100)); }
audacity > "$work/audacity.log" 2>&1 &
audacity_pid=$!

windows() {
    xdotool search --name '.' 2> /dev/null | while read -r id; do
        printf "'%s' " "$(xdotool getwindowname "$id" 2> /dev/null)"
    done
}
# Why Audacity stopped answering: its exit (a crash names its signal) or the windows it shows.
audacity_fault() {
    local what=$1 status
    if ! kill -0 "$audacity_pid" 2> /dev/null; then
        status=0
        wait "$audacity_pid" || status=$?
        audacity_pid=""
        if [ "$status" -gt 128 ]; then
            echo "FAILED: Audacity crashed with SIG$(kill -l $((status - 128))) (signal $((status - 128))) $what"
        else
            echo "FAILED: Audacity exited (status $status) $what"
        fi
        grep -v -E 'Gdk-CRITICAL|^$' "$work/audacity.log" | tail -n 20 || true
    else
        echo "FAILED: Audacity did not answer $what within $command_timeout s; windows open: $(windows)"
        echo "(besides the project's window, named after its track, Audacity keeps two of its own; one more is a dialog waiting for a click)"
    fi
    exit 1
}

for _ in $(seq $((start_timeout * 5))); do
    [ -p "$pipe_from" ] && [ -p "$pipe_to" ] && break
    kill -0 "$audacity_pid" 2> /dev/null || audacity_fault "while starting"
    sleep 0.2
done
[ -p "$pipe_from" ] || audacity_fault "while starting: its script pipes did not appear"
# Opened for reading and writing, neither open waits for Audacity's end of the pipe: opened one way
# each, the two sides can block each other for good, each waiting for the other's pipe.
exec 3<> "$pipe_to" 4<> "$pipe_from"

# Audacity drops a command that comes before it is ready for scripts (some seconds after its window
# shows), so a harmless one is sent until it is answered, and what comes late is drained.
ready=""
for _ in $(seq $((start_timeout / 2))); do
    printf 'Help: Command=Help\n' >&3
    while IFS= read -r -t 2 line <&4; do
        if [ "$line" = "BatchCommand finished: OK" ]; then ready=yes; break; fi
    done
    [ -n "$ready" ] && break
    kill -0 "$audacity_pid" 2> /dev/null || audacity_fault "while starting"
done
[ -n "$ready" ] || audacity_fault "to its first command"
while IFS= read -r -t 1 line <&4; do :; done

# Sends one command and prints its answer, which ends with "BatchCommand finished: OK" (or Failed!).
reply=""
command() {
    local line
    reply=""
    printf '%s\n' "$1" >&3
    while IFS= read -r -t "$command_timeout" line <&4; do
        case "$line" in
        "BatchCommand finished: OK") return 0 ;;
        "BatchCommand finished: "*) echo "FAILED: Audacity answered '$line' to: $1"; printf '%s\n' "$reply"; exit 1 ;;
        *) reply+="$line"$'\n' ;;
        esac
    done
    audacity_fault "to: $1"
}

command "GetInfo: Type=Commands Format=Brief"
# Each command is listed as: "ID" "name" ... "tip", the tip of a VST effect naming its audio I/O.
effect_line=$(printf '%s\n' "$reply" | grep -F "\"$effect_name\"" | grep -F 'Audio In:' || true)
[ -n "$effect_line" ] || { echo "FAILED: Audacity offers no effect named '$effect_name'"; exit 1; }
effect_id=$(printf '%s\n' "$effect_line" | sed -n 's/^ *"\([^"]*\)".*/\1/p')
echo "Audacity offers '$effect_id': $(printf '%s\n' "$effect_line" | grep -o 'Audio In: [0-9]*, Audio Out: [0-9]*')"
printf '%s\n' "$effect_line" | grep -qF 'Audio In: 4, Audio Out: 4' || fail "Audacity does not see 4 inputs and 4 outputs"
echo "Audacity ready after $(elapsed)"

# Each case on a track of its own: imported, its one second selected, the preset applied, exported
# and the track removed. (Undo is no way back: an effect applied by a script adds no step to undo, so
# Undo takes back the import, and the next effect stops at a message box asking for a selection.)
render() {
    local input=$1 preset=$2 output=$3 channels=$4
    command "Import2: Filename=$input"
    command "Select: Start=0 End=1 Track=0 TrackCount=1 Mode=Set"
    # A preset Audacity cannot load leaves a message box waiting; command() names it.
    command "$effect_id: Use_Preset=\"User Preset:$preset\""
    command "Export2: Filename=$output NumChannels=$channels"
    command "Select: Start=0 End=1 Track=0 TrackCount=1 Mode=Set"
    command "RemoveTracks:"
}

echo "=== Stereo track, levels A ($levels_a dB)"
render "$work/stereo.wav" levels_a "$work/stereo-a.wav" 2
echo "=== Stereo track, levels B ($levels_b dB)"
render "$work/stereo.wav" levels_b "$work/stereo-b.wav" 2
echo "=== Mono track, levels A"
render "$work/mono.wav" levels_a "$work/mono-a.wav" 1
echo "Audacity finished after $(elapsed)"

echo "=== Levels of what Audacity exported"
read -r a1 a2 _ <<< "$levels_a"
read -r b1 b2 _ <<< "$levels_b"
"$wav_levels" gain "$work/stereo-a.wav" "$work/stereo.wav" "$tolerance" "$a1" "$a2" || fail "stereo track at levels A"
"$wav_levels" gain "$work/stereo-b.wav" "$work/stereo.wav" "$tolerance" "$b1" "$b2" || fail "stereo track at levels B"
"$wav_levels" gain "$work/mono-a.wav" "$work/mono.wav" "$tolerance" "$a1" || fail "mono track at levels A"
# Channel 2 at 0 dB: not only within the tolerance, but the very samples Audacity read in.
sox -V1 "$work/stereo-b.wav" "$work/b-ch2.wav" remix 2
sox -V1 "$work/stereo.wav" "$work/in-ch2.wav" remix 2
"$wav_levels" match "$work/b-ch2.wav" 0 "$work/in-ch2.wav" 0 44100 0 || fail "channel 2 at 0 dB is not the input unchanged"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "Audacity applied the plug-in's presets at the levels set"
