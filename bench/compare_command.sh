#!/usr/bin/env bash
# The whole quillfen command on a 1920x1080 4:2:2 Y4M clip of 8 frames made
# from photographs, one pass per frame, against
#   - the straightforward pass (naive), timed per frame on the same frames
#     by quillfen_reference_pass;
#   - FFmpeg's chroma noise reducer (chromanr) at the same radius, one
#     thread (-threads 1 -filter_threads 1), Y4M file in and out as well;
#   - with BASELINE, the quillfen command of another build (an earlier
#     commit, say) on the same clip and settings;
# and quillfen with two workers against one. Every case runs ROUNDS rounds
# in which the commands compared run back to back; the table shows median
# wall times and the median of the rounds' ratios, in wall time and in CPU
# time (user + system, every thread), but for two workers against one (see
# there). Installs nothing.
#
#   bench/compare_command.sh [BUILD_DIR] [ROUNDS] [BASELINE]
#
# BUILD_DIR (default build-bench) is a Release build with
# -DQUILLFEN_BUILD_BENCHMARKS=ON. Needs ffmpeg, GNU time and the photographs
# of the Debian package mate-backgrounds.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-5}
baseline=${3:-}
frames=8
quillfen="$build/quillfen"
naive="$build/bench/quillfen_reference_pass"
pictures=/usr/share/backgrounds/mate/nature
photos=(Aqua Blinds Dune Garden LadyBird RainDrops Storm Wood)

if ! command -v ffmpeg >/dev/null 2>&1 || [ ! -x /usr/bin/time ] || [ ! -f "$pictures/${photos[0]}.jpg" ]; then
  echo "this comparison needs ffmpeg, GNU time and mate-backgrounds (apt-get install ffmpeg time mate-backgrounds); nothing was installed" >&2
  exit 2
fi
if [ -n "$baseline" ] && [ ! -x "$baseline" ]; then
  echo "no quillfen command at $baseline" >&2
  exit 2
fi
if [ ! -x "$quillfen" ] || [ ! -x "$naive" ]; then
  echo "no quillfen or quillfen_reference_pass in $build; build first:" >&2
  echo "  cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_BENCHMARKS=ON && cmake --build $build -j2" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip="$work/clip-1080p.y4m"
# One photograph per frame, scaled to cover 1920x1080 and cropped, with a
# little sensor-like grain so that no area is perfectly flat.
inputs=() graph=""
for i in "${!photos[@]}"; do
  inputs+=(-i "$pictures/${photos[$i]}.jpg")
  graph+="[$i:v]scale=1920:1080:force_original_aspect_ratio=increase:flags=bicubic,crop=1920:1080,setsar=1,format=yuv422p[p$i];"
done
for i in "${!photos[@]}"; do graph+="[p$i]"; done
graph+="concat=n=$frames:v=1:a=0,settb=1/25,setpts=N,noise=alls=3:allf=t[clip]"
ffmpeg -loglevel error "${inputs[@]}" -filter_complex "$graph" -map "[clip]" -fps_mode passthrough \
  -f yuv4mpegpipe -y "$clip"

# Wall and CPU seconds (user + system) of one run of a command, its output
# thrown away; a command that fails ends the comparison.
seconds() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
  awk '{printf "%.4f %.4f", $1, $2 + $3}' "$work/time"
}
source bench/figures.sh

run_quillfen() { # THREADS RADIUS FORM [COMMAND]
  seconds "${4:-$quillfen}" --quiet --threads "$1" "$clip" "$work/quillfen.y4m" "radius=$2" \
    "gaussian=$([ "$3" = gaussian ] && echo true || echo false)" iterations=1
}
run_chromanr() { # RADIUS
  seconds ffmpeg -loglevel error -threads 1 -filter_threads 1 -i "$clip" -vf "chromanr=sizew=$1:sizeh=$1" \
    -f yuv4mpegpipe -y "$work/chromanr.y4m"
}
wall() { echo "${1% *}"; }
cpu() { echo "${1#* }"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {print a / b}'; }

echo "clip: 1920x1080 4:2:2, $frames frames from photographs; one pass; $rounds rounds; $(nproc) cores; $(date -u +%Y-%m-%d)"
[ -n "$baseline" ] && echo "baseline: $baseline"
echo
header="| case | quillfen per frame | naive / quillfen | chromanr / quillfen | chromanr / quillfen, CPU | naive per frame | chromanr per frame |"
rule="|---|---|---|---|---|---|---|"
[ -n "$baseline" ] && header+=" baseline / quillfen | baseline / quillfen, CPU |" rule+="---|---|"
echo "$header"
echo "$rule"
for case in "1 linear" "3 linear" "8 linear" "2 gaussian" "3 gaussian" "5 gaussian"; do
  read -r radius form <<<"$case"
  naive_ms=$("$naive" "$clip" "$radius" "$form")
  q_times=() c_times=() ratios=() cpu_ratios=() b_ratios=() b_cpu_ratios=()
  for _ in $(seq "$rounds"); do
    q=$(run_quillfen 1 "$radius" "$form")
    c=$(run_chromanr "$radius")
    q_times+=("$(wall "$q")") c_times+=("$(wall "$c")")
    ratios+=("$(ratio "$(wall "$c")" "$(wall "$q")")") cpu_ratios+=("$(ratio "$(cpu "$c")" "$(cpu "$q")")")
    if [ -n "$baseline" ]; then
      b=$(run_quillfen 1 "$radius" "$form" "$baseline")
      b_ratios+=("$(ratio "$(wall "$b")" "$(wall "$q")")") b_cpu_ratios+=("$(ratio "$(cpu "$b")" "$(cpu "$q")")")
    fi
  done
  q=$(printf '%s\n' "${q_times[@]}" | median)
  c=$(printf '%s\n' "${c_times[@]}" | median)
  q_ms=$(awk -v q="$q" -v n="$frames" 'BEGIN {print q * 1e3 / n}')
  c_ms=$(awk -v c="$c" -v n="$frames" 'BEGIN {print c * 1e3 / n}')
  row=$(printf '| radius %s %s | %s ms | %s | %s | %s | %s ms | %s ms |' "$radius" "$form" "$(fmt "$q_ms" %.1f)" \
    "$(fmt "$(ratio "$naive_ms" "$q_ms")" %.1fx)" "$(fmt "$(printf '%s\n' "${ratios[@]}" | median)" %.2fx)" \
    "$(fmt "$(printf '%s\n' "${cpu_ratios[@]}" | median)" %.2fx)" "$(fmt "$naive_ms" %.0f)" "$(fmt "$c_ms" %.1f)")
  [ -n "$baseline" ] && row+=$(printf ' %s | %s |' "$(fmt "$(printf '%s\n' "${b_ratios[@]}" | median)" %.2fx)" \
    "$(fmt "$(printf '%s\n' "${b_cpu_ratios[@]}" | median)" %.2fx)")
  echo "$row"
done

# Two workers need both cores and one worker leaves one idle, so whatever
# else runs on a shared machine slows the two-worker runs far more than the
# one-worker runs, and the rounds' ratios mostly measure that load. The row
# divides the best time of each over the rounds, the figures of undisturbed
# runs; the median of the rounds' ratios is printed below the table.
ones=() twos=() ratios=()
for _ in $(seq "$rounds"); do
  one=$(wall "$(run_quillfen 1 3 linear)")
  two=$(wall "$(run_quillfen 2 3 linear)")
  ones+=("$one") twos+=("$two") ratios+=("$(awk -v a="$one" -v b="$two" 'BEGIN {print a / b}')")
done
one=$(printf '%s\n' "${ones[@]}" | sort -g | head -1)
two=$(printf '%s\n' "${twos[@]}" | sort -g | head -1)
printf '| 2 workers vs 1 (radius 3 linear) | | %s | | | |\n' "$(fmt "$(awk -v a="$one" -v b="$two" 'BEGIN {print a / b}')" %.2fx)"
echo
echo "2 workers vs 1: best of $rounds rounds $(fmt "$(awk -v s="$one" 'BEGIN {print s * 1e3}')" %.0f) ms and" \
  "$(fmt "$(awk -v s="$two" 'BEGIN {print s * 1e3}')" %.0f) ms; median of the rounds' ratios" \
  "$(fmt "$(printf '%s\n' "${ratios[@]}" | median)" %.2fx)"

# vspipe with the VapourSynth module against the command, where both are built.
module="$(realpath "$build")/libquillfen_vapoursynth.so"
vapoursynth="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/vapoursynth-R65"
if [ -f "$module" ] && [ -x "$vapoursynth/bin/vspipe" ]; then
  PYTHONPATH="$(echo "$vapoursynth"/lib/python3*/site-packages)"
  export PYTHONPATH
  echo
  echo "vspipe with the VapourSynth module against the command, radius 3, gaussian, one pass:"
  for threads in 1 2; do
    ratios=()
    for _ in $(seq "$rounds"); do
      v=$(wall "$(seconds "$vapoursynth/bin/vspipe" -c y4m -a "clip=$clip" -a "module=$module" \
          -a "settings=radius=3 gaussian=1 iterations=1" -a "threads=$threads" tests/hosts/quillfen_y4m.vpy \
          "$work/vspipe.y4m")")
      q=$(wall "$(run_quillfen "$threads" 3 gaussian)")
      ratios+=("$(awk -v v="$v" -v q="$q" 'BEGIN {print v / q}')")
    done
    echo "  $threads thread(s): vspipe / quillfen $(fmt "$(printf '%s\n' "${ratios[@]}" | median)" %.2fx)"
  done
fi
