#!/usr/bin/env bash
# Speed and quality of orv-denoise against ffmpeg's hqdn3d, atadenoise,
# vaguedenoiser and nlmeans, on the same generated clips, in one run.
# Needs the native build (./build.sh build) plus ffmpeg and python3 with numpy.
# The table goes to the terminal and to out/bench/compare_peers.md.
# Settings: BENCH_FRAMES (frames per clip, 120), BENCH_REPEATS (runs per
# measurement, the fastest counts; 3), ORV_DENOISE (the program to measure).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bin=${ORV_DENOISE:-$root/build/native/orv-denoise}
[ -x "$bin" ] || { echo "compare_peers: $bin is missing; build first (./build.sh build)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare_peers: ffmpeg is missing (./build.sh deps)" >&2; exit 1; }
python=
for p in /usr/bin/python3 python3; do
    if "$p" -c 'import numpy' 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "compare_peers: python3 with numpy is missing (./build.sh deps)" >&2; exit 1; }

# Clips and outputs live in memory so that disk speed plays no part.
work=$(mktemp -d "$( [ -d /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")/orv-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$python" "$root/bench/compare_peers.py" --bin "$bin" --work "$work" --python "$python" \
    --frames "${BENCH_FRAMES:-120}" --repeats "${BENCH_REPEATS:-3}" "$@"
