#!/bin/sh
# Runs the built halvaris-decode the way people do: help, a refused command line, standard input
# to standard output, a cut stream, a QuickTime movie made by FFmpeg.
# Usage: program_test.sh PROGRAM DATA_FOLDER [EMULATOR...]   (the emulator is wine for Windows builds)
set -u
program=$1
data=$2
shift 2
emulator="$*"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
tool() { $emulator "$program" "$@"; }

frame=$data/system2-testsrc2.dif

tool --help >"$scratch/help" 2>&1 || fail "--help exits non-zero"
grep -q "Examples:" "$scratch/help" || fail "--help shows no examples"
tool --version | grep -Eq "^halvaris-decode [0-9]+\.[0-9]+\.[0-9]+ \(libhalvaris " || fail "--version"

if tool --system 7 "$frame" "$scratch/x.yuy2" 2>"$scratch/error"; then fail "--system 7 accepted"; fi
[ "$(wc -l <"$scratch/error")" -eq 1 ] || fail "a refused command line says more than one line"
grep -q "halvaris-decode: error: --system takes 1, 2, 3 or 4" "$scratch/error" || fail "unclear error: $(cat "$scratch/error")"

tool -q "$frame" "$scratch/file.yuy2" || fail "decoding a file"
tool -q --format yuy2 - - <"$frame" >"$scratch/piped.yuy2" || fail "decoding a pipe"
cmp -s "$scratch/file.yuy2" "$scratch/piped.yuy2" || fail "a pipe decodes differently from a file"
[ "$(wc -c <"$scratch/piped.yuy2")" -eq 1382400 ] || fail "one 960x720 picture expected from the pipe"

tool -q - - <"$frame" >"$scratch/piped.y4m" || fail "y4m to standard output"
head -n 1 "$scratch/piped.y4m" | grep -qx "YUV4MPEG2 W960 H720 F60000:1001 Ip A4:3 C422" ||
  fail "standard output is not y4m: $(head -c 60 "$scratch/piped.y4m")"

head -c 100000 "$frame" | tool --format yuy2 - "$scratch/cut.yuy2" 2>"$scratch/cut.log" || fail "a cut stream fails"
grep -q "warning: frame 0 is cut short (100000 of 240000 bytes)" "$scratch/cut.log" || fail "no warning for a cut frame"
[ "$(wc -c <"$scratch/cut.yuy2")" -eq 1382400 ] || fail "the cut frame was not written"

if command -v ffmpeg >/dev/null 2>&1; then
  ffmpeg -nostdin -v error -y -f dv -i "$frame" -c:v copy -f mov "$scratch/clip.mov" || fail "ffmpeg"
  tool -q "$scratch/clip.mov" "$scratch/movie.yuy2" || fail "decoding a movie"
  cmp -s "$scratch/file.yuy2" "$scratch/movie.yuy2" || fail "the movie decodes differently from the raw frame"
fi

printf 'not a video' >"$scratch/notes.txt"
if tool "$scratch/notes.txt" "$scratch/notes.y4m" 2>"$scratch/error"; then fail "a text file was decoded"; fi
grep -q "is neither a DIF stream nor a QuickTime movie" "$scratch/error" || fail "unclear error: $(cat "$scratch/error")"
[ ! -e "$scratch/notes.y4m" ] || fail "a failed run left its output"

[ "$failures" -eq 0 ] && echo "all program checks passed"
exit "$failures"
