#!/usr/bin/env bash
# Instructions per channel-frame of processReplacing at 32 and 512 frames, counted by callgrind in
# the same host loop (bench/count_instructions.cpp) for this plug-in and for LSP comp-delay-mono, a
# third-party gain stage (Debian package lsp-plugins-vst). Counts are repeatable from run to run,
# unlike times. Builds the Release preset's plug-in and host loop first.
#
#   bench/count-instructions.sh [BLOCKS]     (default 2000 counted blocks per case)
set -euo pipefail
cd "$(dirname "$0")/.."
# The presets name no job count: builds take every core unless the caller sets a level.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
blocks=${1:-2000}
lsp=/usr/lib/vst/lsp-plugins/comp-delay-mono.so
command -v valgrind > /dev/null || { echo "valgrind is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

cmake --preset release > /dev/null
cmake --build --preset release --target count_instructions TolvarneskLevelTrimmer4x > /dev/null
ours=build/release/plugin/TolvarneskLevelTrimmer4x.so
loop=build/release/bench/count_instructions
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints instructions per channel-frame of one plug-in at one block size.
count() {
    local plugin=$1 frames=$2 out=$work/callgrind.out
    local channelFrames
    channelFrames=$(valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out" \
        "$loop" "$plugin" "$frames" "$blocks" float 2> "$work/valgrind.log" | awk '/^channel-frames/ {print $2}')
    local instructions
    instructions=$(awk '/^(summary|totals):/ {print $2; exit}' "$out")
    awk -v i="$instructions" -v n="$channelFrames" 'BEGIN {printf "%.2f", i / n}'
}

printf '%-26s %10s %10s\n' "plug-in (processReplacing)" "32 frames" "512 frames"
printf '%-26s %10s %10s\n' "ours (4 channels)" "$(count "$ours" 32)" "$(count "$ours" 512)"
if [ -f "$lsp" ]; then
    printf '%-26s %10s %10s\n' "LSP comp-delay-mono (1)" "$(count "$lsp" 32)" "$(count "$lsp" 512)"
else
    echo "LSP comp-delay-mono is not installed ($lsp): package lsp-plugins-vst"
fi
echo "instructions per channel-frame, $blocks blocks each, counted by valgrind --tool=callgrind"
