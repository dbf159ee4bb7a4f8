#!/usr/bin/env bash
# Denoising demo: generates a panning landscape clip at 720x576, adds fixed-seed
# Gaussian noise, denoises it with orv-denoise and leaves in out/demo/:
#   denoised.mkv      the denoised clip, lossless (FFV1)
#   denoised.mp4      the same as an H.264 preview; noisy.mp4 the input
#   compare.mp4       noisy (left) and denoised (right) side by side
#   before_after.png  noisy, denoised and clean crops side by side
#   quality.png       per-frame PSNR against the clean original and the filter's own SNR
#   stats.csv         the per-frame statistics written by --stats
# Run it after building (./build.sh demo does both). Settings: DEMO_FRAMES,
# DEMO_SIGMA (noise in 8-bit steps), ORV_DENOISE (the program to run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bin=${ORV_DENOISE:-$root/build/native/orv-denoise}
frames=${DEMO_FRAMES:-150}
sigma=${DEMO_SIGMA:-8}
out=$root/out/demo

[ -x "$bin" ] || { echo "demo: $bin is missing; build first (./build.sh build)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "demo: ffmpeg is missing (./build.sh deps)" >&2; exit 1; }

# The distribution's interpreter has numpy and matplotlib from the package manager;
# a python3 earlier on PATH may not.
python=
for p in /usr/bin/python3 python3; do
    if "$p" -c 'import numpy, matplotlib' 2>/dev/null; then python=$p; break; fi
done
[ -n "$python" ] || { echo "demo: python3 with numpy and matplotlib is missing (./build.sh deps)" >&2; exit 1; }

# Work files in memory where possible; they are large and not kept.
work=$(mktemp -d "${TMPDIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp)}/orv-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

echo "demo: generating $frames frames of a 720x576 landscape pan, clean and with noise sigma $sigma"
"$python" host/demo_scene.py "$work/clean.y4m" "$work/noisy.y4m" --frames "$frames" --sigma "$sigma"

echo "demo: denoising with motion compensation on all planes"
"$bin" --mc yuv --stats "$out/stats.csv" --bench "$work/noisy.y4m" "$work/denoised.y4m" 2> "$work/bench.txt" \
    || { cat "$work/bench.txt" >&2; exit 1; }
filter_fps=$(sed -n 's/.* filter_fps=\([0-9.]*\).*/\1/p' "$work/bench.txt")
cpu_fps=$(sed -n 's/.* filter_cpu_fps=\([0-9.]*\).*/\1/p' "$work/bench.txt")
total_fps=$(sed -n 's/.*total_fps=\([0-9.]*\).*/\1/p' "$work/bench.txt")

echo "demo: encoding the videos"
enc=(ffmpeg -nostdin -v error -y)
"${enc[@]}" -i "$work/denoised.y4m" -c:v ffv1 -level 3 "$out/denoised.mkv"
"${enc[@]}" -i "$work/denoised.y4m" -c:v libx264 -crf 18 -preset veryfast -pix_fmt yuv420p "$out/denoised.mp4"
"${enc[@]}" -i "$work/noisy.y4m" -c:v libx264 -crf 18 -preset veryfast -pix_fmt yuv420p "$out/noisy.mp4"
"${enc[@]}" -i "$work/noisy.y4m" -i "$work/denoised.y4m" \
    -filter_complex "[0:v]crop=360:576:180:0,drawtext=text='noisy':x=10:y=10:fontsize=28:fontcolor=white:box=1:boxcolor=black@0.5[a];[1:v]crop=360:576:180:0,drawtext=text='denoised':x=10:y=10:fontsize=28:fontcolor=white:box=1:boxcolor=black@0.5[b];[a][b]hstack" \
    -c:v libx264 -crf 18 -preset veryfast -pix_fmt yuv420p "$out/compare.mp4" 2>/dev/null \
  || "${enc[@]}" -i "$work/noisy.y4m" -i "$work/denoised.y4m" \
    -filter_complex "[0:v]crop=360:576:180:0[a];[1:v]crop=360:576:180:0[b];[a][b]hstack" \
    -c:v libx264 -crf 18 -preset veryfast -pix_fmt yuv420p "$out/compare.mp4"

echo "demo: measuring and plotting"
summary=$("$python" host/demo_report.py "$work/clean.y4m" "$work/noisy.y4m" "$work/denoised.y4m" \
    "$out/stats.csv" "$out" --title "orv-denoise --mc yuv, noise sigma $sigma")

{
    echo "orv-denoise demo: $frames frames, 720x576 4:2:2, Gaussian noise sigma $sigma (fixed seed)"
    echo "$summary" | sed 's/^/  /'
    echo "  speed: $cpu_fps fps inside the filter by processor time (one thread; $filter_fps fps by the clock"
    echo "         on this machine now), $total_fps fps for the whole run with file I/O"
    echo "  files in out/demo/: denoised.mkv (lossless), denoised.mp4, noisy.mp4, compare.mp4,"
    echo "                      before_after.png, quality.png, stats.csv"
} | tee "$out/summary.txt"
