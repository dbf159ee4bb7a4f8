#!/usr/bin/env bash
# Builds the settings-file fuzzer with clang in build/fuzz and runs it for a
# bounded time (seconds, default 60). Exits non-zero when it finds a crash,
# a leak, undefined behaviour, a hang or a save that does not read back to itself.
#   tests/fuzz/run_fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-${FUZZ_SECONDS:-60}}
build=build/fuzz

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_FUZZ=ON -DORV_BENCH=OFF >/dev/null
cmake --build "$build" --target settings_fuzz -j "${JOBS:-2}"

# New inputs go to the working corpus; the seeds in the tree stay as they are.
corpus="$build/settings-corpus"
mkdir -p "$corpus"
"$build/tests/fuzz/settings_fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/" \
  "$corpus" tests/fuzz/corpus
echo "settings fuzz: ${seconds}s without findings"
