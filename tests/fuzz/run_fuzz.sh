#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build/fuzz and runs them side by
# side for a bounded time (seconds, default 60). Exits non-zero when one finds
# a crash, a leak, undefined behaviour, a hang or a broken round trip (a saved
# settings text that does not read back to itself, a YUV4MPEG2 frame that does
# not come back as it was read).
#   tests/fuzz/run_fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-${FUZZ_SECONDS:-60}}
build=build/fuzz
targets=(settings y4m)

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_FUZZ=ON -DORV_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]/%/_fuzz}" -j "${JOBS:-2}"

# The settings writer takes a fresh 100 kB buffer for every text; with the
# default 256 MB quarantine each one is new memory, and page faults would
# take most of the time.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}

pids=()
for target in "${targets[@]}"; do
    # New inputs go to a working corpus; the seeds in the tree stay as they are.
    corpus="$build/$target-corpus"
    mkdir -p "$corpus"
    "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -dict="tests/fuzz/$target.dict" \
      -artifact_prefix="$build/$target-" "$corpus" "tests/fuzz/$target-corpus" \
      > "$build/$target.log" 2>&1 &
    pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
    target=${targets[$i]}
    if wait "${pids[$i]}"; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/$target.log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/$target.log")
        echo "$target fuzz: ${seconds}s without findings, $runs inputs ($rate a second)"
    else
        status=1
        tail -n 60 "$build/$target.log"
        echo "$target fuzz: FAILED (log: $build/$target.log)"
    fi
done
exit $status
