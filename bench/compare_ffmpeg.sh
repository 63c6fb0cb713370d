#!/usr/bin/env bash
# Decodes the same 1080-line 60 Hz streams (a test pattern and noisy, detailed pictures) with
# halvaris-decode and with FFmpeg at the same thread count (1 and 2), and prints frames per second,
# each the best of three runs, and their ratio; then the pixel kernels' figures per instruction set,
# and the frames per second of the frame description alone (no decoding, one thread).
# Usage: bench/compare_ffmpeg.sh [frames]   (default 120)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${1:-120}
bin="$root/build/native/bin"
decoder="$bin/halvaris-decode"
work="$root/build/bench"
mkdir -p "$work"
[ -x "$decoder" ] || { echo "build first: make native" >&2; exit 1; }

seconds() { # command... -> elapsed seconds of the fastest of three runs
  local best=""
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(echo "$start $end $best" | awk '{t = $2 - $1; if ($3 == "" || t < $3) print t; else print $3}')
  done
  echo "$best"
}

echo "$frames-frame 1080-line 60 Hz streams, decoding to YUY2; frames per second, best of three runs"
printf '%-9s %7s %15s %9s %7s\n' stream threads halvaris-decode FFmpeg ratio
for source in testsrc2 detailed; do
  stream="$work/$source-1080-60-$frames.dif"
  if [ ! -s "$stream" ]; then
    filter="testsrc2=size=1280x1080:rate=30000/1001"
    [ "$source" = detailed ] && filter="mandelbrot=size=1280x1080:rate=30000/1001,noise=alls=20:allf=t"
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "$filter" -frames:v "$frames" -pix_fmt yuv422p \
      -c:v dvvideo -f rawvideo "$stream"
  fi
  ours1=""
  for threads in 1 2; do
    ours=$(seconds "$decoder" --system 1 --threads "$threads" --quiet --format yuy2 "$stream" /dev/null)
    theirs=$(seconds ffmpeg -nostdin -loglevel quiet -threads "$threads" -f dv -i "$stream" -f null -)
    [ "$threads" = 1 ] && ours1=$ours
    awk -v n="$frames" -v o="$ours" -v t="$theirs" -v s="$source" -v c="$threads" -v o1="$ours1" 'BEGIN {
      printf "%-9s %7d %15.0f %9.0f %7.2f", s, c, n / o, n / t, (n / o) / (n / t)
      if (c > 1) printf "   (%.2f times our own one-thread speed)", o1 / o
      printf "\n" }'
  done
done

if [ -x "$bin/kernel_check" ]; then
  echo
  "$bin/kernel_check" --trials 100 --bench | sed -n '/nanoseconds/,$p'
else
  echo "(kernel_check is built with the tests; its per-level kernel figures are missing)"
fi

echo
if [ -x "$bin/decoder_benchmark" ]; then
  echo "Frame description alone (no decoding), one thread, frames from memory:"
  "$bin/decoder_benchmark" --benchmark_filter='^DescribeFrame/' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_median|^Run on'
else
  echo "(decoder_benchmark is built with the benchmarks; the frame description figures are missing)"
fi
