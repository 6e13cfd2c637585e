#!/usr/bin/env bash
# Builds the fuzz target (preset fuzz) and runs it for SECONDS (default 60) from the seed and
# regression inputs in tests/fuzz/corpus. New inputs it finds go to build/fuzz/corpus, which later
# runs start from; a finding is written to build/fuzz/findings/ and makes this exit non-zero.
# Further arguments go to libFuzzer, e.g. `tests/fuzz/run.sh 3600 -jobs=2 -workers=2`.
set -euo pipefail
cd "$(dirname "$0")/../.."
# The presets name no job count: builds take every core unless the caller sets a level.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
seconds="${1:-60}"
shift || true
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus build/fuzz/findings
build/fuzz/tests/fuzz/fuzz_plugin -max_total_time="${seconds}" -max_len=8192 -timeout=30 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/ "$@" build/fuzz/corpus tests/fuzz/corpus
