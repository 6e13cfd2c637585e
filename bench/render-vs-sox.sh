#!/usr/bin/env bash
# vsthost render against sox on the same job: a 120 s, 4-channel, 48 kHz file whose channels are
# trimmed by -6 / +3.5 / 0 / -12 dB. For float input, 24-bit PCM input and --double, runs the three
# commands in turn (vsthost render, sox applying the same gains, a plain sox copy) ROUNDS times,
# takes the median wall time of each and prints vsthost's time over each of sox's. Then renders a
# 10-minute file and prints the peak resident set that /usr/bin/time -v reports. Builds the Release
# preset's vsthost and plug-in first.
#
#   bench/render-vs-sox.sh [ROUNDS]     (default 7)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
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

# Seconds the command takes, wall clock, its output thrown away.
seconds() {
    local start=$EPOCHREALTIME
    "$@" > /dev/null 2>&1
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f\n", b - a}'
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

printf '%-22s %9s %9s %9s %12s %12s\n' "input" "vsthost" "sox gains" "sox copy" "vs gains" "vs copy"
for case in float pcm24 "float --double"; do
    read -r input extra <<< "$case"
    : > "$work/host.t"; : > "$work/gains.t"; : > "$work/copy.t"
    # shellcheck disable=SC2086  # $extra is empty or one option
    for ((i = 0; i < rounds; i++)); do
        seconds "$host" render "$plugin" "$work/$input.wav" "$work/out.wav" "${gains[@]}" $extra >> "$work/host.t"
        seconds sox "$work/$input.wav" "$work/out.wav" "${remix[@]}" >> "$work/gains.t"
        seconds sox "$work/$input.wav" "$work/out.wav" >> "$work/copy.t"
    done
    ours=$(median < "$work/host.t"); withGains=$(median < "$work/gains.t"); copy=$(median < "$work/copy.t")
    printf '%-22s %8.3fs %8.3fs %8.3fs %12.2f %12.2f\n' "$input${extra:+ $extra}" "$ours" "$withGains" "$copy" \
        "$(awk -v a="$ours" -v b="$withGains" 'BEGIN {print a / b}')" "$(awk -v a="$ours" -v b="$copy" 'BEGIN {print a / b}')"
done
echo "median wall time of $rounds rounds each, the three commands in turn; targets: vs gains <= 0.70, vs copy <= 1.50"

rm -f "$work/pcm24.wav" "$work/out.wav"
sox "$work/float.wav" "$work/long.wav" repeat 4
for extra in "" --double; do
    # shellcheck disable=SC2086
    peak=$(/usr/bin/time -v "$host" render "$plugin" "$work/long.wav" "$work/out.wav" "${gains[@]}" $extra 2>&1 > /dev/null |
        awk -F': ' '/Maximum resident set size/ {print $2}')
    printf 'peak resident set rendering 10 minutes%s: %d MB (target <= 64 MB)\n' "${extra:+ ($extra)}" $((peak / 1024))
done
