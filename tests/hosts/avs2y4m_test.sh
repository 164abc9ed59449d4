#!/usr/bin/env bash
# avs2y4m and Y4MSource in AviSynth+, without the plugin:
#   avs2y4m_test.sh AVS2Y4M [SANITIZERS]
# - every format both read and write, made by ffmpeg with several aspects,
#   4:2:0 sitings and ranges, comes back from Y4MSource("in.y4m") as the
#   same bytes, header included;
# - frame properties set by the script itself become the header's tags;
# - a clip of a format Y4M has not is refused in one line naming a
#   conversion, and that conversion makes a clip that is written;
# - Y4MSource refuses a 9-bit file and a sample above the file's depth.
# Skipped (77) without AviSynth+ or ffmpeg, and in sanitized builds, whose
# avs2y4m would hold AviSynth+ to the sanitizers too.
set -euo pipefail
runner=$(readlink -m "$1")
[ -z "${2:-}" ] || { echo "skipped: AviSynth+ runs in plain builds only"; exit 77; }

[ -x "$runner" ] || { echo "skipped: avs2y4m is not built (no AviSynth+ headers)"; exit 77; }
command -v ffmpeg >/dev/null || { echo "skipped: ffmpeg is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$runner" --version >/dev/null 2>version.txt || { echo "skipped: $(cat version.txt)"; exit 77; }

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

run_script() {  # OUTPUT SCRIPT
  printf '%s\n' "$2" >script.avs
  "$runner" --quiet script.avs "$1"
}

refuse() {  # SCRIPT MESSAGE: fails with MESSAGE on one line and writes nothing
  local status=0
  run_script out.y4m "$1" 2>refusal.txt || status=$?
  [ "$status" = 1 ] && [ "$(wc -l <refusal.txt)" = 1 ] && grep -qF -- "$2" refusal.txt ||
    fail "status $status and \"$(cat refusal.txt)\" for: $1; expected \"$2\""
  [ -z "$(ls out.y4m* 2>/dev/null)" ] || fail "$1 left $(ls out.y4m*)"
}

# ffmpeg's pixel format, then its options for aspect, siting, range and an
# odd size for 4:4:4.
formats=(
  "yuv420p|-color_range pc -vf setsar=16/15"
  "yuv420p|-chroma_sample_location left -color_range tv"
  "yuv420p|-chroma_sample_location topleft"
  "yuv422p|-vf setsar=10/11"
  "yuv444p|-color_range pc -vf format=yuv444p,crop=63:47:0:0"
)
for depth in 10 12 14 16; do
  formats+=("yuv420p${depth}le|-color_range pc" "yuv422p${depth}le|-aspect 16:9" "yuv444p${depth}le|-vf format=yuv444p${depth}le,crop=63:47:0:0")
done
for entry in "${formats[@]}"; do
  IFS='|' read -r format options <<<"$entry"
  # shellcheck disable=SC2086
  ffmpeg -loglevel error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 3 -pix_fmt "$format" $options \
    -strict -1 -f yuv4mpegpipe -y in.y4m || fail "ffmpeg made no $format $options"
  run_script out.y4m 'Y4MSource("in.y4m")' || fail "$format $options through Y4MSource"
  cmp -s in.y4m out.y4m || fail "$format $options: \"$(head -n 1 in.y4m)\" came back as \"$(head -n 1 out.y4m)\""
done

# Properties the script sets, whatever made the clip, and the header's tags.
properties=(
  '.propSet("_ChromaLocation", 0).propDelete("_ColorRange")|A0:0 C420mpeg2 XYSCSS=420MPEG2'
  '.propSet("_ChromaLocation", 1).propSet("_ColorRange", 1)|A0:0 C420jpeg XYSCSS=420JPEG XCOLORRANGE=LIMITED'
  '.propSet("_SARNum", 16).propSet("_SARDen", 11).propSet("_ChromaLocation", 2).propSet("_ColorRange", 0)|A16:11 C420paldv XYSCSS=420PALDV XCOLORRANGE=FULL'
)
for entry in "${properties[@]}"; do
  IFS='|' read -r calls tags <<<"$entry"
  run_script out.y4m "BlankClip(pixel_type=\"YV12\", width=64, height=48, length=2)$calls" || fail "$calls"
  [ "$(head -n 1 out.y4m)" = "YUV4MPEG2 W64 H48 F24:1 Ip $tags" ] || fail "$calls gave \"$(head -n 1 out.y4m)\""
  rm out.y4m
done

for format in RGB32 RGBAP16 RGBPS Y10 YV411 YUVA422P10; do
  clip="BlankClip(pixel_type=\"$format\", width=64, height=48, length=2)"
  refuse "$clip" "avs2y4m: the script's clip is $format; Y4M is written from YUY2 and YUV 4:2:0, 4:2:2 or 4:4:4"
  run_script out.y4m "$clip.$(sed 's/.*end the script with //' refusal.txt)" || fail "the conversion named for $format"
  rm out.y4m
done

{ printf 'YUV4MPEG2 W4 H2 F25:1 C420p9\nFRAME\n'; head -c 24 /dev/zero; } >nine.y4m
{ printf 'YUV4MPEG2 W4 H2 F25:1 C420p10\nFRAME\n'; head -c 24 /dev/zero | tr '\0' '\377'; } >above.y4m
refuse 'Y4MSource("nine.y4m")' \
  "Y4MSource: nine.y4m is C420p9: AviSynth+ has no 9-bit format; convert it to 10 bits with ffmpeg -i IN -pix_fmt yuv420p10le"
refuse 'Y4MSource("above.y4m")' \
  "Y4MSource: above.y4m: Y4M input: frame 0, plane Y: sample 65535 is above the 10-bit range (0-1023)"
echo "passed: ${#formats[@]} formats, properties, refusals"
