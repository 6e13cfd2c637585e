#!/usr/bin/env bash
# vsthost render against sox on the same job: a 120 s, 4-channel, 48 kHz file whose channels are
# trimmed by -6 / +3.5 / 0 / -12 dB. For float input, 24-bit PCM input and --double, runs the three
# commands in turn (vsthost render, sox applying the same gains, a plain sox copy) ROUNDS times and
# prints the medians of vsthost's time over each of sox's, wall clock and processor. Then renders a
# 10-minute file and prints the peak resident set that /usr/bin/time -v reports. Builds the Release
# preset's vsthost and plug-in first.
#
#   bench/render-vs-sox.sh [ROUNDS]     (default 9)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-9}
for tool in sox /usr/bin/time; do
    command -v "$tool" > /dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

cmake --preset release > /dev/null
cmake --build --preset release --target vsthost TolvarneskLevelTrimmer4x > /dev/null
host=build/release/tools/vsthost/vsthost
plugin=build/release/plugin/TolvarneskLevelTrimmer4x.so
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

gains=(-d "level mono 1=-6" -d "level mono 2=3.5" -d "level mono 3=0" -d "level mono 4=-12")
# The same gains as sox volumes: 10^(dB/20).
remix=(remix 1v0.501187 2v1.496236 3v1 4v0.251189)

sox -n -r 48000 -c 4 -e floating-point -b 32 "$work/float.wav" synth 120 whitenoise vol 0.5
sox "$work/float.wav" -e signed -b 24 "$work/pcm24.wav"

# Runs a command, its output thrown away, and prints its wall seconds and its user + system seconds.
measure() {
    local start=$EPOCHREALTIME
    /usr/bin/time -f '%U %S' -o "$work/cpu" "$@" > /dev/null 2>&1
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" '{printf "%.4f %.2f\n", b - a, $1 + $2}' "$work/cpu"
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# The median of a column of the rounds, and of the ratio of two columns taken round by round.
column() { awk -v c="$1" '{print $c}' "$work/rounds" | median; }
ratio() { awk -v a="$1" -v b="$2" '{print ($b > 0 ? $a / $b : "inf")}' "$work/rounds" | median; }

# Each round runs the three commands in turn; a ratio is taken within each round, and the median of
# the rounds' ratios is printed, so that the machine's speed drifting between rounds does not move it.
printf '%-16s %9s %9s %9s   %-19s %-19s\n' "input" "vsthost" "sox gains" "sox copy" "vs gains wall (cpu)" "vs copy wall (cpu)"
for case in float pcm24 "float --double"; do
    read -r input extra <<< "$case"
    : > "$work/rounds"
    for ((i = 0; i < rounds; i++)); do
        # shellcheck disable=SC2086  # $extra is empty or one option
        read -r hostWall hostCpu < <(measure "$host" render "$plugin" "$work/$input.wav" "$work/out.wav" "${gains[@]}" $extra)
        read -r gainsWall gainsCpu < <(measure sox "$work/$input.wav" "$work/out.wav" "${remix[@]}")
        read -r copyWall copyCpu < <(measure sox "$work/$input.wav" "$work/out.wav")
        echo "$hostWall $gainsWall $copyWall $hostCpu $gainsCpu $copyCpu" >> "$work/rounds"
    done
    printf '%-16s %8.3fs %8.3fs %8.3fs   %5.2f (%4.2f)         %5.2f (%4.2f)\n' "$input${extra:+ $extra}" \
        "$(column 1)" "$(column 2)" "$(column 3)" "$(ratio 1 2)" "$(ratio 4 5)" "$(ratio 1 3)" "$(ratio 4 6)"
done
echo "medians of $rounds rounds, wall seconds and, in brackets, the ratio of user + system seconds;"
echo "targets: vs gains <= 0.70, vs copy <= 1.50"

rm -f "$work/pcm24.wav" "$work/out.wav"
sox "$work/float.wav" "$work/long.wav" repeat 4
for extra in "" --double; do
    # shellcheck disable=SC2086
    peak=$(/usr/bin/time -v "$host" render "$plugin" "$work/long.wav" "$work/out.wav" "${gains[@]}" $extra 2>&1 > /dev/null |
        awk -F': ' '/Maximum resident set size/ {print $2}')
    printf 'peak resident set rendering 10 minutes%s: %d MB (target <= 64 MB)\n' "${extra:+ ($extra)}" $((peak / 1024))
done
