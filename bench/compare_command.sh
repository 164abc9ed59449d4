#!/usr/bin/env bash
# Times the whole quillfen command against FFmpeg's chroma noise reducer
# (chromanr) at the same radius on the same 1080p 4:2:2 Y4M clip, both on one
# thread, and quillfen's frame-parallel scaling from one worker to two.
# Prints the median of several runs of each and the ratios. Installs nothing.
#
#   bench/compare_command.sh [BUILD_DIR] [FRAMES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
frames=${2:-6}
runs=${3:-3}
quillfen="$build/quillfen"

if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "ffmpeg is not installed; this comparison needs it (nothing was installed)." >&2
  exit 2
fi
if [ ! -x "$quillfen" ]; then
  echo "no quillfen command at $quillfen; build first:" >&2
  echo "  cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release && cmake --build $build -j2" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip="$work/clip-1080p.y4m"
# Real-looking content: the bundled sample scaled to 1080p, with film-like
# grain so that luma is never flat.
ffmpeg -loglevel error -i samples/quillfen-sample.y4m -vf "scale=1920:1080:flags=bicubic,noise=alls=6:allf=t" \
  -frames:v "$frames" -pix_fmt yuv422p -f yuv4mpegpipe -y "$clip"

# Median wall time in seconds of RUNS runs of a command.
median_seconds() {
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=("$(( end - start ))")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]/1e9}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a/b}'; }

echo "clip: 1920x1080 4:2:2, $frames frames; median of $runs runs; $(nproc) cores"
printf '%-8s %14s %14s %22s\n' radius "quillfen (s)" "chromanr (s)" "chromanr / quillfen"
for radius in 1 3 8; do
  q=$(median_seconds "$quillfen" --quiet --threads 1 "$clip" "$work/out.y4m" "radius=$radius")
  c=$(median_seconds ffmpeg -loglevel error -threads 1 -filter_threads 1 -i "$clip" \
      -vf "chromanr=sizew=$radius:sizeh=$radius" -f yuv4mpegpipe -y "$work/chromanr.y4m")
  printf '%-8s %14s %14s %21sx\n' "$radius" "$q" "$c" "$(ratio "$c" "$q")"
done

echo
echo "frame-parallel scaling, radius 3, gaussian:"
one=$(median_seconds "$quillfen" --quiet --threads 1 "$clip" "$work/out.y4m" radius=3 gaussian=true)
two=$(median_seconds "$quillfen" --quiet --threads 2 "$clip" "$work/out.y4m" radius=3 gaussian=true)
echo "  1 worker ${one}s, 2 workers ${two}s: $(ratio "$one" "$two")x"

# vspipe with the VapourSynth module against the command, where both are built.
module="$build/libquillfen_vapoursynth.so"
vapoursynth="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/vapoursynth-R65"
if [ -f "$module" ] && [ -x "$vapoursynth/bin/vspipe" ]; then
  PYTHONPATH="$(echo "$vapoursynth"/lib/python3*/site-packages)"
  export PYTHONPATH
  echo
  echo "vspipe with the VapourSynth module against the command, radius 3, gaussian:"
  for threads in 1 2; do
    v=$(median_seconds "$vapoursynth/bin/vspipe" -c y4m -a "clip=$clip" -a "module=$module" \
        -a "settings=radius=3 gaussian=1" -a "threads=$threads" tests/hosts/quillfen_y4m.vpy "$work/vspipe.y4m")
    q=$(median_seconds "$quillfen" --quiet --threads "$threads" "$clip" "$work/out.y4m" radius=3 gaussian=true)
    echo "  $threads thread(s): vspipe ${v}s, quillfen ${q}s: $(ratio "$v" "$q")x"
  done
fi
