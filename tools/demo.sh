#!/usr/bin/env bash
# make demo: decodes a short DVCPRO HD clip with halvaris-decode into out/ and tells how to view it.
# The clip is made with FFmpeg the first time (out/clip.dif, 1080 lines at 60 Hz) and kept; put
# your own raw DIF stream there to decode that instead.
set -euo pipefail
cd "$(dirname "$0")/.."

decoder=build/native/bin/halvaris-decode
out=out
clip=$out/clip.dif
frames=60

if [ ! -x "$decoder" ]; then
  echo "demo: $decoder is missing; run 'make demo' (it builds first)" >&2
  exit 1
fi
mkdir -p "$out"

if [ ! -s "$clip" ]; then
  echo "Making a ${frames}-frame DVCPRO HD clip (1280x1080, 60 Hz) with ffmpeg: $clip"
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1280x1080:rate=30000/1001" \
    -frames:v "$frames" -pix_fmt yuv422p -c:v dvvideo -f rawvideo "$clip.partial"
  mv "$clip.partial" "$clip"
fi
if [ ! -s "$out/clip.mov" ] || [ "$clip" -nt "$out/clip.mov" ]; then
  # The same frames in a QuickTime movie, to show movie input.
  ffmpeg -nostdin -v error -y -f dv -i "$clip" -c:v copy -f mov "$out/clip.mov.partial"
  mv "$out/clip.mov.partial" "$out/clip.mov"
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT

echo "Decoding $clip to raw YUY2 pictures:"
"$decoder" "$clip" "$out/clip.yuy2" 2> >(tee "$log" >&2)
wait
speed=$(sed -n 's/.*decoded in .* (\(.*\) frames\/s).*/\1/p' "$log" | tail -n 1)

echo "Decoding $out/clip.mov to YUV4MPEG2:"
"$decoder" "$out/clip.mov" "$out/clip.y4m"

echo "Decoding the first ten frames to PNG pictures at display size:"
rm -f "$out"/clip-*.png
"$decoder" --frames 0-9 --display-size "$clip" "$out/clip-%02d.png"

workers=$(nproc 2>/dev/null || echo "?")
cat <<TEXT

Results in $out/:
  $out/clip.yuy2        raw packed 4:2:2 pictures, 1280x1080 each:
      ffplay -f rawvideo -pixel_format yuyv422 -video_size 1280x1080 -framerate 30000/1001 $out/clip.yuy2
  $out/clip.y4m         YUV4MPEG2 with rate, interlacing and aspect ratio (shown 1920x1080):
      ffplay $out/clip.y4m      (or: mpv $out/clip.y4m)
      $decoder $out/clip.mov - | ffplay -      (decode straight into a player)
  $out/clip-00.png ...  the first ten frames as 1920x1080 RGB pictures, for any image viewer

Decoding speed: ${speed:-?} frames per second (1280x1080, up to $workers workers).
TEXT
