#!/usr/bin/env bash
# Runs Qtractor's own plug-in scanner on the plug-in and checks what it reports against what the
# plug-in says of itself (vsthost info): the name, 4 audio inputs and outputs, no MIDI, the parameter
# count, no editor, state kept in chunks, MIDI ports and the unique ID. Qtractor lists a plug-in from this line.
# usage: qtractor_scan_check.sh PLUGIN.so VSTHOST
# Exits 77 (a skip for CTest) when Qtractor's scanner is not installed.
set -euo pipefail

readonly skip_code=77
plugin=$(readlink -f "$1")
vsthost=$(readlink -f "$2")

scanner=""
for candidate in /usr/lib/*/qtractor/qtractor_plugin_scan /usr/lib/qtractor/qtractor_plugin_scan; do
    if [ -x "$candidate" ]; then scanner=$candidate; break; fi
done
if [ -z "$scanner" ]; then
    echo "SKIPPED: Qtractor's plug-in scanner is not installed (qtractor_plugin_scan; package 'qtractor')"
    exit "$skip_code"
fi

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

info=$("$vsthost" info "$plugin") || { echo "FAILED: vsthost info could not read the plug-in"; exit 1; }
field() { printf '%s\n' "$info" | sed -n "s/^$1  *//p" | head -n 1; }
name=$(field 'effect name')
parameters=$(printf '%s\n' "$info" | sed -n 's/^parameters (\([0-9]*\))$/\1/p')
unique_id=$(field 'unique ID' | cut -d' ' -f1)
chunks=no
# Qtractor counts a MIDI input for a plug-in that can receive MIDI events, and an output for one that sends them.
can_do=$(field 'can do')
midi_in=0 midi_out=0
case "$can_do" in *"receiveVstMidiEvent yes"*) midi_in=1 ;; esac
case "$can_do" in *"sendVstMidiEvent yes"*) midi_out=1 ;; esac
if field flags | grep -qw ProgramChunks; then chunks=yes; fi

# The scanner loads the plug-in in its own process; a crash or hang there is Qtractor's view of a
# plug-in that kills its scan, so it is named as such.
status=0
scan=$(printf 'VST2:%s\n' "$plugin" | timeout 30 "$scanner" 2>&1) || status=$?
echo "$scan"
if [ "$status" -eq 124 ]; then
    echo "FAILED: Qtractor's scanner did not finish within 30 s"
    exit 1
elif [ "$status" -gt 128 ]; then
    echo "FAILED: Qtractor's scanner crashed with SIG$(kill -l $((status - 128))) while loading the plug-in"
    exit 1
elif [ "$status" -ne 0 ]; then
    echo "FAILED: Qtractor's scanner exited with status $status"
    exit 1
fi

lines=$(printf '%s\n' "$scan" | grep -c '^VST|' || true)
[ "$lines" -eq 1 ] || { echo "FAILED: the scanner reported $lines plug-ins, expected exactly one"; exit 1; }
# VST|name|audio in:out|MIDI in:out|parameters:outputs|flags|file|index|unique ID
IFS='|' read -r type scanned_name audio midi controls flags file index scanned_id <<< "$(printf '%s\n' "$scan" | grep '^VST|')"
[ "$type" = VST ] || fail "type '$type'"
[ "$scanned_name" = "$name" ] || fail "name '$scanned_name', the plug-in reports '$name'"
[ "$audio" = "4:4" ] || fail "audio inputs:outputs '$audio', expected 4:4"
[ "$midi" = "$midi_in:$midi_out" ] || fail "MIDI inputs:outputs '$midi', expected $midi_in:$midi_out from the plug-in's can-do answers"
[ "$controls" = "$parameters:0" ] || fail "parameters '$controls', expected $parameters:0"
[ "$parameters" -eq 4 ] || fail "the plug-in reports $parameters parameters, expected 4"
case ",$flags," in *,GUI,*) fail "the scanner reports an editor (flags '$flags')" ;; esac
case ",$flags," in *,EXT,*) scanned_chunks=yes ;; *) scanned_chunks=no ;; esac
[ "$scanned_chunks" = "$chunks" ] || fail "state in chunks: scanner '$scanned_chunks' (flags '$flags'), plug-in '$chunks'"
case ",$flags," in *,RT,*) ;; *) fail "the scanner does not mark the plug-in real-time capable (flags '$flags')" ;; esac
[ "$file" = "$plugin" ] || fail "file '$file', expected '$plugin'"
[ "$index" = 0 ] || fail "index '$index', expected 0"
[ "$((scanned_id))" -eq "$((unique_id))" ] || fail "unique ID '$scanned_id', the plug-in reports '$unique_id'"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "Qtractor's scanner reports the plug-in as it describes itself: '$name', 4 in / 4 out, $parameters parameters, no editor"
