#!/usr/bin/env bash
# The whole quillfen command, one worker, on the same 1920x1080 clip of 8
# frames made from photographs in four formats: 10-bit 4:2:2 against 8-bit
# 4:2:2, and 16-bit 4:4:4 against 8-bit 4:4:4, one pass of radius 3 in the
# linear and the Gaussian form. Every round runs the four formats back to
# back; the table shows median times per frame and per megapixel, and the
# median of the rounds' ratios. With BASELINE_BUILD, another build's quillfen
# (today's main, say) runs 8-bit 4:2:2 in every round too, for the 8-bit
# figures against it. Installs nothing.
#
#   bench/compare_depths.sh [BUILD_DIR] [ROUNDS] [BASELINE_BUILD]
#
# BUILD_DIR (default build) is a Release build. Needs ffmpeg and the
# photographs of the Debian package mate-backgrounds.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
baseline=${3:-}
frames=8
quillfen="$build/quillfen"
pictures=/usr/share/backgrounds/mate/nature
photos=(Aqua Blinds Dune Garden LadyBird RainDrops Storm Wood)

if ! command -v ffmpeg >/dev/null 2>&1 || [ ! -f "$pictures/${photos[0]}.jpg" ]; then
  echo "this comparison needs ffmpeg and mate-backgrounds (apt-get install ffmpeg mate-backgrounds); nothing was installed" >&2
  exit 2
fi
for command in "$quillfen" ${baseline:+"$baseline/quillfen"}; do
  if [ ! -x "$command" ]; then
    echo "no $command; build first: cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release && cmake --build $build -j2" >&2
    exit 2
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One photograph per frame with a little sensor-like grain, then scaled at
# 16 bits to cover 1920x1080 and cropped, so that the deep formats have low
# bits of their own; the other formats are made from that one.
inputs=() graph=""
for i in "${!photos[@]}"; do
  inputs+=(-i "$pictures/${photos[$i]}.jpg")
  graph+="[$i:v]format=yuv444p,noise=alls=3:allf=t,format=yuv444p16le,"
  graph+="scale=1920:1080:force_original_aspect_ratio=increase:flags=bicubic,crop=1920:1080,setsar=1[p$i];"
done
for i in "${!photos[@]}"; do graph+="[p$i]"; done
graph+="concat=n=$frames:v=1:a=0,settb=1/25,setpts=N[clip]"
ffmpeg -loglevel error "${inputs[@]}" -filter_complex "$graph" -map "[clip]" -fps_mode passthrough \
  -strict -1 -f yuv4mpegpipe -y "$work/444p16.y4m"
formats=(422 422p10 444 444p16)
declare -A pix_fmt=([422]=yuv422p [422p10]=yuv422p10le [444]=yuv444p)
for format in 422 422p10 444; do
  ffmpeg -loglevel error -i "$work/444p16.y4m" -pix_fmt "${pix_fmt[$format]}" -strict -1 -f yuv4mpegpipe \
    -y "$work/$format.y4m"
done

# Wall seconds of one run of a command, its output thrown away; a command
# that fails ends the comparison.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  end=$(date +%s%N)
  awk -v ns="$((end - start))" 'BEGIN {printf "%.4f", ns / 1e9}'
}
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
fmt() { awk -v x="$1" -v f="$2" 'BEGIN {printf f, x}'; }

run() { # QUILLFEN FORMAT FORM
  seconds "$1" --quiet --threads 1 "$work/$2.y4m" "$work/out.y4m" radius=3 \
    "gaussian=$([ "$3" = gaussian ] && echo true || echo false)" iterations=1
}

echo "clip: 1920x1080, $frames frames from photographs; one worker; one pass of radius 3; $rounds rounds;" \
  "$(nproc) cores; $(date -u +%Y-%m-%d)"
echo
echo "| form | 8-bit 4:2:2 | 10-bit 4:2:2 | 10 / 8 bits | 8-bit 4:4:4 | 16-bit 4:4:4 | 16 / 8 bits |${baseline:+ 8-bit 4:2:2, baseline | this / baseline |}"
echo "|---|---|---|---|---|---|---|${baseline:+---|---|}"
megapixels=$(awk -v f="$frames" 'BEGIN {print f * 1920 * 1080 / 1e6}')
for form in linear gaussian; do
  declare -A times=()
  deep_422=() deep_444=() against_baseline=()
  for _ in $(seq "$rounds"); do
    declare -A round=()
    for format in "${formats[@]}"; do
      round[$format]=$(run "$quillfen" "$format" "$form")
      times[$format]+="${round[$format]} "
    done
    deep_422+=("$(awk -v a="${round[422p10]}" -v b="${round[422]}" 'BEGIN {print a / b}')")
    deep_444+=("$(awk -v a="${round[444p16]}" -v b="${round[444]}" 'BEGIN {print a / b}')")
    if [ -n "$baseline" ]; then
      round[baseline]=$(run "$baseline/quillfen" 422 "$form")
      times[baseline]+="${round[baseline]} "
      against_baseline+=("$(awk -v a="${round[422]}" -v b="${round[baseline]}" 'BEGIN {print a / b}')")
    fi
  done
  # Milliseconds per frame and nanoseconds per pixel of a format's median time.
  cell() {
    local t
    t=$(tr ' ' '\n' <<<"${times[$1]}" | grep . | median)
    echo "$(fmt "$(awk -v t="$t" -v f="$frames" 'BEGIN {print t * 1000 / f}')" '%.0f') ms" \
      "($(fmt "$(awk -v t="$t" -v m="$megapixels" 'BEGIN {print t * 1000 / m}')" '%.2f') ns/px)"
  }
  ratio() { printf '%s\n' "$@" | median | xargs -I{} awk -v r={} 'BEGIN {printf "%.2f", r}'; }
  line="| $form | $(cell 422) | $(cell 422p10) | $(ratio "${deep_422[@]}") | $(cell 444) | $(cell 444p16) | $(ratio "${deep_444[@]}") |"
  [ -n "$baseline" ] && line+=" $(cell baseline) | $(ratio "${against_baseline[@]}") |"
  echo "$line"
done
