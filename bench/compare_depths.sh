#!/usr/bin/env bash
# The whole quillfen command, one worker, on the same 1920x1080 clip of 16
# frames made from photographs in four formats, 8-bit 4:2:2 and 4:4:4,
# 10-bit 4:2:2 and 16-bit 4:4:4, one pass per frame: linear radius 1 and 3,
# Gaussian radius 3. Every round runs every case in every format back to
# back, so that load on a shared machine falls on all of them alike. The
# first table shows each format's median CPU time (user + system) per pixel
# and per frame, and the medians of the rounds' ratios of the deep formats
# to the 8-bit ones; the second each format's peak resident memory with one
# worker and with two. With BASELINE_BUILD, another build's quillfen (the
# command before the deep formats, say) runs 8-bit 4:2:2 in every round too,
# for the 8-bit figures against it. Installs nothing.
#
#   bench/compare_depths.sh [BUILD_DIR] [ROUNDS] [BASELINE_BUILD]
#
# BUILD_DIR (default build) is a Release build. Needs ffmpeg, GNU time
# (/usr/bin/time) and the photographs of the Debian package mate-backgrounds.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-15}
baseline=${3:-}
photos_frames=8 frames=16 width=1920 height=1080
quillfen="$build/quillfen"
pictures=/usr/share/backgrounds/mate/nature
photos=(Aqua Blinds Dune Garden LadyBird RainDrops Storm Wood)

if ! command -v ffmpeg >/dev/null 2>&1 || [ ! -x /usr/bin/time ] || [ ! -f "$pictures/${photos[0]}.jpg" ]; then
  echo "this comparison needs ffmpeg, GNU time and mate-backgrounds (apt-get install ffmpeg time mate-backgrounds);" \
    "nothing was installed" >&2
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
# 16 bits to cover the frame and cropped, so that the deep formats have low
# bits of their own; the other formats are made from that one. The eight
# photographs twice over, so that what a run costs before its first frame
# weighs little.
inputs=() graph=""
for i in "${!photos[@]}"; do
  inputs+=(-i "$pictures/${photos[$i]}.jpg")
  graph+="[$i:v]format=yuv444p,noise=alls=3:allf=t,format=yuv444p16le,"
  graph+="scale=$width:$height:force_original_aspect_ratio=increase:flags=bicubic,crop=$width:$height,setsar=1[p$i];"
done
for i in "${!photos[@]}"; do graph+="[p$i]"; done
graph+="concat=n=$photos_frames:v=1:a=0,loop=loop=$((frames / photos_frames - 1)):size=$photos_frames:start=0,"
graph+="settb=1/25,setpts=N[clip]"
ffmpeg -loglevel error "${inputs[@]}" -filter_complex "$graph" -map "[clip]" -fps_mode passthrough \
  -strict -1 -f yuv4mpegpipe -y "$work/444p16.y4m"
formats=(422 444 422p10 444p16)
declare -A pix_fmt=([422]=yuv422p [444]=yuv444p [422p10]=yuv422p10le)
declare -A title=([422]="8-bit 4:2:2" [444]="8-bit 4:4:4" [422p10]="10-bit 4:2:2" [444p16]="16-bit 4:4:4")
for format in 422 444 422p10; do
  ffmpeg -loglevel error -i "$work/444p16.y4m" -pix_fmt "${pix_fmt[$format]}" -strict -1 -f yuv4mpegpipe \
    -y "$work/$format.y4m"
done
cases=("1 linear" "3 linear" "3 gaussian")
# Each deep format against each 8-bit one: DEEP EIGHT.
pairs=("422p10 422" "422p10 444" "444p16 444" "444p16 422")

# One run of QUILLFEN on FORMAT's clip, its output thrown away: "CPU seconds
# (user + system) peak-resident-kilobytes". The shell times it to the
# millisecond, GNU time (to the hundredth of a second only) gives the peak.
# A run that fails ends the comparison.
run() { # QUILLFEN FORMAT RADIUS FORM WORKERS
  local TIMEFORMAT='%3U %3S' cpu
  if ! cpu=$( { time /usr/bin/time -f '%M' -o "$work/peak" "$1" --quiet --threads "$5" "$work/$2.y4m" \
      "$work/out.y4m" "radius=$3" "gaussian=$([ "$4" = gaussian ] && echo true || echo false)" iterations=1 \
      >/dev/null 2>&1; } 2>&1 ); then
    echo "failed: $1 on $2, radius $3 $4, $5 worker(s)" >&2
    exit 1
  fi
  awk -v cpu="$cpu" '{split(cpu, t, " "); printf "%.4f %d\n", t[1] + t[2], $1}' "$work/peak"
}
source bench/figures.sh
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {print a / b}'; }

declare -A times=() ratios=() peak=()
started=$(date +%s)
for _ in $(seq "$rounds"); do
  for case in "${cases[@]}"; do
    read -r radius form <<<"$case"
    declare -A seconds=()
    for format in "${formats[@]}"; do
      read -r cpu kilobytes < <(run "$quillfen" "$format" "$radius" "$form" 1)
      seconds[$format]=$cpu
      times[$case/$format]+="$cpu "
      [ "${peak[$format]:-0}" -ge "$kilobytes" ] || peak[$format]=$kilobytes
    done
    for pair in "${pairs[@]}"; do
      read -r deep eight <<<"$pair"
      ratios[$case/$pair]+="$(ratio "${seconds[$deep]}" "${seconds[$eight]}") "
    done
    if [ -n "$baseline" ]; then
      read -r cpu _ < <(run "$baseline/quillfen" 422 "$radius" "$form" 1)
      times[$case/baseline]+="$cpu "
      ratios[$case/baseline]+="$(ratio "${seconds[422]}" "$cpu") "
    fi
  done
done
# Two workers once per case: what one more worker adds to the peak.
declare -A peak2=()
for case in "${cases[@]}"; do
  read -r radius form <<<"$case"
  for format in "${formats[@]}"; do
    read -r _ kilobytes < <(run "$quillfen" "$format" "$radius" "$form" 2)
    [ "${peak2[$format]:-0}" -ge "$kilobytes" ] || peak2[$format]=$kilobytes
  done
done
finished=$(date +%s)

pixels=$((frames * width * height))
# Median CPU time of a case and format: nanoseconds per pixel, milliseconds per frame.
cell() {
  local t
  t=$(tr ' ' '\n' <<<"${times[$1]}" | grep . | median)
  echo "$(fmt "$(awk -v t="$t" -v p="$pixels" 'BEGIN {print t * 1e9 / p}')" '%.2f') ns/px" \
    "($(fmt "$(awk -v t="$t" -v f="$frames" 'BEGIN {print t * 1000 / f}')" '%.0f') ms)"
}
median_ratio() { fmt "$(tr ' ' '\n' <<<"${ratios[$1]}" | grep . | median)" '%.2fx'; }

echo "clip: ${width}x$height, $frames frames from $photos_frames photographs; one worker, one pass; $rounds rounds" \
  "in $((finished - started)) s; $(nproc) cores; $(date -u +%Y-%m-%d)"
echo
line="| case |" rule="|---|"
for format in "${formats[@]}"; do line+=" ${title[$format]} |" rule+="---|"; done
for pair in "${pairs[@]}"; do
  read -r deep eight <<<"$pair"
  line+=" ${title[$deep]} / ${title[$eight]} |" rule+="---|"
done
line+=" goal |" rule+="---|"
[ -z "$baseline" ] || { line+=" 8-bit 4:2:2, baseline | this / baseline |" rule+="---|---|"; }
echo "$line"
echo "$rule"
for case in "${cases[@]}"; do
  read -r radius form <<<"$case"
  line="| $form radius $radius |"
  for format in "${formats[@]}"; do line+=" $(cell "$case/$format") |"; done
  for pair in "${pairs[@]}"; do line+=" $(median_ratio "$case/$pair") |"; done
  line+=" $([ "$form" = gaussian ] && echo 2x || echo 1.5x) |"
  [ -z "$baseline" ] || line+=" $(cell "$case/baseline") | $(median_ratio "$case/baseline") |"
  echo "$line"
done
echo
echo "Peak resident memory (GNU time's maximum RSS, the largest over the cases) of the whole command:"
echo
echo "| format | one worker | two workers | one more worker | per pixel of one more worker |"
echo "|---|---|---|---|---|"
for format in "${formats[@]}"; do
  echo "| ${title[$format]} | $(fmt "$(awk -v k="${peak[$format]}" 'BEGIN {print k / 1024}')" '%.1f') MiB" \
    "| $(fmt "$(awk -v k="${peak2[$format]}" 'BEGIN {print k / 1024}')" '%.1f') MiB" \
    "| $(fmt "$(awk -v a="${peak2[$format]}" -v b="${peak[$format]}" 'BEGIN {print (a - b) / 1024}')" '%.1f') MiB" \
    "| $(fmt "$(awk -v a="${peak2[$format]}" -v b="${peak[$format]}" -v p="$((width * height))" \
      'BEGIN {print (a - b) * 1024 / p}')" '%.1f') bytes |"
done
