#!/usr/bin/env bash
# The main job in one command: installs what is missing (through scripts/install-deps.sh), builds
# everything, generates a 4-channel test file and renders it through the trim plug-in with example
# settings, then prints per-channel peak and RMS before and after, so the gains can be seen at work.
# TRIM_DEMO_BUILD_DIR chooses the build folder (default: build/default, the one ./test.sh uses).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${TRIM_DEMO_BUILD_DIR:-build/demo}"

missing=""
for tool in cmake g++ make pkg-config sox; do
    command -v "$tool" > /dev/null || missing="$missing $tool"
done
for header in sndfile.h CLI/CLI.hpp nlohmann/json.hpp; do
    [ -e "/usr/include/$header" ] || missing="$missing $header"
done
if [ -n "$missing" ]; then
    echo "=== missing:$missing; installing the build tier (scripts/install-deps.sh build)"
    scripts/install-deps.sh build
fi

echo "=== building the plug-in and vsthost in $build_dir"
mkdir -p "$build_dir"
build_log="$build_dir/render-demo-build.log"
if ! { cmake --preset default -B "$build_dir" -DTRIM_BUILD_TESTS=OFF &&
       cmake --build "$build_dir" --parallel "$(nproc)"; } > "$build_log" 2>&1; then
    tail -n 40 "$build_log"
    echo "=== the build failed; the whole log is in $build_log" >&2
    exit 1
fi

demo_dir="$build_dir/demo"
mkdir -p "$demo_dir"
input="$demo_dir/four-tones.wav"
output="$demo_dir/four-tones-trimmed.wav"
# Four tones of 3 s, one per channel, each at -9 dBFS peak, 48 kHz, 24-bit.
sox -q -n -r 48000 -b 24 -c 4 "$input" synth 3 sine 220 sine 330 sine 440 sine 550 gain -9

echo "=== rendering $input through the trim plug-in"
echo "    level mono 1 = -6 dB, level mono 2 = +3.5 dB, level mono 3 = 0 dB, level mono 4 = -12 dB"
"$build_dir/tools/vsthost/vsthost" render "$build_dir/plugin/TolvarneskLevelTrimmer4x.so" "$input" "$output" \
    --levels -d "level mono 1=-6" -d "level mono 2=3.5" -d "level mono 3=0" -d "level mono 4=-12"
