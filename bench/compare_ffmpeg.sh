#!/usr/bin/env bash
# Decodes the same long 1080-line 60 Hz stream with halvaris-decode and with FFmpeg on one thread,
# and prints frames per second and their ratio. Usage: bench/compare_ffmpeg.sh [frames]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${1:-600}
decoder="$root/build/native/bin/halvaris-decode"
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

for source in testsrc2 detailed; do
  stream="$work/$source-1080-60-$frames.dif"
  if [ ! -s "$stream" ]; then
    filter="testsrc2=size=1280x1080:rate=30000/1001"
    [ "$source" = detailed ] && filter="mandelbrot=size=1280x1080:rate=30000/1001,noise=alls=20:allf=t"
    echo "making $stream ..."
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "$filter" -frames:v "$frames" -pix_fmt yuv422p \
      -c:v dvvideo -f rawvideo "$stream"
  fi
  ours=$(seconds "$decoder" --system 1 --quiet --format yuy2 "$stream" /dev/null)
  ours1=$(seconds "$decoder" --system 1 --threads 1 --quiet --format yuy2 "$stream" /dev/null)
  theirs=$(seconds ffmpeg -nostdin -loglevel quiet -threads 1 -f dv -i "$stream" -f null -)
  awk -v n="$frames" -v o="$ours" -v o1="$ours1" -v t="$theirs" -v s="$source" -v c="$(nproc)" 'BEGIN {
    printf "%-9s %d frames: halvaris-decode %.0f fps on %d threads (%.0f fps on 1), ffmpeg -threads 1 %.0f fps: ratio %.2f\n",
      s, n, n / o, c, n / o1, n / t, (n / o) / (n / t) }'
done
