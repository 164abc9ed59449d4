#!/usr/bin/env bash
# What the filter is for: removing chroma noise. Adds uniform noise over 25
# levels (-12..+12, fixed seeds; QUILLFEN_NOISE_AMPLITUDE=N for -N..+N) to
# the U and V of a few photographs, then prints for each setting and for
# FFmpeg's chroma noise reducer (chromanr) the chroma PSNR against the clean
# picture and the largest shift of the mean U and V. Installs nothing.
#
#   bench/quality_bench.sh [BUILD_DIR]
#
# Needs ffmpeg and the pictures of Debian's python3-skimage
# (apt-get install ffmpeg python3-skimage), and a build with the
# benchmarks:
#   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_BENCHMARKS=ON
#   cmake --build build-bench -j2 --target quillfen quillfen_quality_tool
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
quillfen="$build/quillfen"
tool="$build/bench/quillfen_quality_tool"
pictures=(astronaut.png chelsea.png coffee.png motorcycle_left.png rocket.jpg)
amplitude=${QUILLFEN_NOISE_AMPLITUDE:-12}

if ! command -v ffmpeg >/dev/null 2>&1; then
  echo "ffmpeg is not installed: apt-get install ffmpeg (nothing was installed)" >&2
  exit 2
fi
data=$(dpkg -L python3-skimage 2>/dev/null | grep '/skimage/data/astronaut.png$' | xargs -r dirname)
if [ -z "$data" ]; then
  echo "the pictures come from python3-skimage: apt-get install python3-skimage (nothing was installed)" >&2
  exit 2
fi
for program in "$quillfen" "$tool"; do
  if [ ! -x "$program" ]; then
    echo "no $program; build first:" >&2
    echo "  cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_BENCHMARKS=ON" >&2
    echo "  cmake --build $build -j2 --target quillfen quillfen_quality_tool" >&2
    exit 2
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Clean and noisy 4:2:2 versions of each picture, cut to an even size.
seed=1
for picture in "${pictures[@]}"; do
  name=${picture%.*}
  ffmpeg -loglevel error -i "$data/$picture" -vf "crop=trunc(iw/2)*2:trunc(ih/2)*2" -pix_fmt yuv422p \
    -f yuv4mpegpipe -y "$work/$name-clean.y4m"
  "$tool" noisy "$work/$name-clean.y4m" "$work/$name-noisy.y4m" "$amplitude" "$seed"
  seed=$((seed + 1))
done

# The one of two shifts that is farther from 0.
larger_shift() {
  awk -v a="$1" -v b="$2" 'function abs(x) { return x < 0 ? -x : x } BEGIN { print ((abs(b) > abs(a)) ? b : a) }'
}

# One row: the figures of every picture, their mean PSNR and the largest
# mean-colour shifts. $1 is the row's label, $2 makes OUTPUT from INPUT.
row() {
  local label=$1 make=$2 figures=() sum=0 du=0 dv=0
  for picture in "${pictures[@]}"; do
    local name=${picture%.*}
    "$make" "$work/$name-noisy.y4m" "$work/out.y4m"
    read -r psnr u v < <("$tool" compare "$work/$name-clean.y4m" "$work/out.y4m")
    figures+=("$psnr")
    sum=$(awk -v a="$sum" -v b="$psnr" 'BEGIN {print a + b}')
    du=$(larger_shift "$du" "$u")
    dv=$(larger_shift "$dv" "$v")
  done
  printf '| %-44s |' "$label"
  printf ' %6s |' "${figures[@]}"
  printf ' %6.2f | %+6.2f | %+6.2f |\n' "$(awk -v s="$sum" -v n="${#pictures[@]}" 'BEGIN {print s / n}')" "$du" "$dv"
}

noisy_input() { cp "$1" "$2"; }
quillfen_with() { "$quillfen" --quiet --threads 1 "$1" "$2" "${settings[@]}"; }
chromanr_at() {
  ffmpeg -loglevel error -threads 1 -filter_threads 1 -i "$1" -vf "chromanr=sizew=$radius:sizeh=$radius" \
    -pix_fmt yuv422p -f yuv4mpegpipe -y "$2"
}

echo "chroma PSNR in dB against the clean picture (uniform chroma noise of +-$amplitude, 4:2:2);"
echo "mean U / V shift: the largest over the pictures, in levels"
echo
printf '| %-44s |' "setting"
for picture in "${pictures[@]}"; do printf ' %6s |' "$(echo "${picture%.*}" | cut -c1-6)"; done
printf ' %6s | %6s | %6s |\n' mean "U" "V"
printf '|%s|' "$(printf -- '-%.0s' $(seq 46))"
for _ in "${pictures[@]}" 1 2 3; do printf '%s|' "--------"; done
echo
row "noisy input" noisy_input
for line in "" "iterations=3" "iterations=30" "radius=3 gaussian=true" "radius=2 gaussian=true iterations=3" \
  "gaussian=true threshold=0"; do
  read -r -a settings <<< "$line"
  row "quillfen ${line:-(defaults)}" quillfen_with
done
for radius in 1 2 3 5; do
  row "ffmpeg chromanr sizew=sizeh=$radius" chromanr_at
done
