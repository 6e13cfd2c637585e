#!/usr/bin/env bash
# Cross-builds the benchmarks for Windows (preset win64-bench, or win32-bench) and runs them under
# Wine on this machine: bench_process_timed, with the same cases and table as the Linux
# bench_process, and bench_fft_timed, whose ratios use FFTW's times measured by the Linux bench_fft
# in the same run (FFTW is not packaged for the cross compilers). Times are the fastest of the
# repetitions, wall clock, on both sides.
#
#   bench/run-wine.sh [win64|win32] [REPETITIONS]       (default win64, 9 repetitions)
set -euo pipefail
cd "$(dirname "$0")/.."
# The presets name no job count: builds take every core unless the caller sets a level.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
bitness=${1:-win64}
repetitions=${2:-9}
case "$bitness" in win32|win64) ;; *) echo "usage: $0 [win64|win32] [REPETITIONS]" >&2; exit 2 ;; esac
preset=$bitness-bench
build=build/$preset

cmake --preset "$preset" > /dev/null
cmake --build --preset "$preset" --target bench_process_timed bench_fft_timed > /dev/null
cmake --preset release > /dev/null
cmake --build --preset release --target bench_fft > /dev/null

# A prefix of the benchmarks' own, inside the build folder, made on the first run.
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
mkdir -p "$WINEPREFIX"
run() { tools/wine-run/wine-run "$bitness" "$@"; }

echo "== $bitness: processReplacing and processDoubleReplacing against the reference"
run "$build/bench/bench_process_timed.exe" "$repetitions" 0.05 | tr -d '\r'

echo
echo "== FFTW on Linux (fastest of $repetitions, wall clock)"
# bench_fft prints its own table; the file output has the plain figures.
csv=$build/fftw-linux.csv
build/release/bench/bench_fft --benchmark_filter='^Fftw/' --benchmark_repetitions="$repetitions" \
    --benchmark_out="$csv" --benchmark_out_format=csv > /dev/null 2>&1
fftw=$(awk -F, '/^"Fftw\/[0-9]+"/ { name = $1; gsub(/"/, "", name); t = $3 + 0;
                                   if (!(name in best) || t < best[name]) best[name] = t }
                END { for (n in best) printf "%s=%.3f ", n, best[n] }' "$csv")
echo "$fftw"

echo
echo "== $bitness: our FFT"
# shellcheck disable=SC2086
run "$build/bench/bench_fft_timed.exe" "$repetitions" 0.05 $fftw | tr -d '\r'
