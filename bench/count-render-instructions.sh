#!/usr/bin/env bash
# Instructions per sample that vsthost render spends outside the plug-in and libsndfile, counted by
# callgrind on a 10 s, 4-channel, 48 kHz render with four gains (float input, 24-bit input, --double).
# Counts repeat from run to run, unlike times. Builds the Release preset's vsthost and plug-in first.
#
#   bench/count-render-instructions.sh [VSTHOST]     (default: the Release build's)
set -euo pipefail
cd "$(dirname "$0")/.."
command -v valgrind > /dev/null || { echo "valgrind is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
command -v sox > /dev/null || { echo "sox is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
cmake --preset release > /dev/null
cmake --build --preset release --target vsthost TolvarneskLevelTrimmer4x > /dev/null
host=$(realpath "${1:-build/release/tools/vsthost/vsthost}")
plugin=build/release/plugin/TolvarneskLevelTrimmer4x.so
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 48000 -c 4 -e floating-point -b 32 "$work/float.wav" synth 10 whitenoise vol 0.5
sox "$work/float.wav" -e signed -b 24 "$work/pcm24.wav"
samples=$((10 * 48000 * 4))

printf '%-16s %10s %12s %12s %10s\n' "input" "vsthost" "other code" "libsndfile" "plug-in"
for case in float pcm24 "float --double"; do
    read -r input extra <<< "$case"
    # shellcheck disable=SC2086  # $extra is empty or one option
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$host" render "$plugin" "$work/$input.wav" \
        "$work/out.wav" -d "level mono 1=-6" -d "level mono 2=3.5" -d "level mono 3=0" -d "level mono 4=-12" $extra \
        > /dev/null 2> "$work/valgrind.log"
    # Self cost of each function, summed by the object it lives in; annotate names an object only
    # where it differs from the line before.
    callgrind_annotate --threshold=100 "$work/callgrind.out" 2> /dev/null | awk -v host="$host" -v n="$samples" \
        -v name="$input${extra:+ $extra}" '
        /^ *[0-9,]+ \(/ && !/PROGRAM TOTALS/ {
            count = $1; gsub(",", "", count)
            if (match($0, /\[[^]]*\]$/)) object = substr($0, RSTART + 1, RLENGTH - 2)
            if (object == host) own += count
            else if (object ~ /libsndfile/) sndfile += count
            else if (object ~ /TolvarneskLevelTrimmer4x/) plugin += count
            else other += count
        }
        END { printf "%-16s %10.2f %12.2f %12.2f %10.2f\n", name, own / n, other / n, sndfile / n, plugin / n }'
done
echo "instructions per sample (10 s of 4 channels at 48 kHz), counted by valgrind --tool=callgrind;"
echo "'other code' is the C library, the loader and the rest, start-up included"
