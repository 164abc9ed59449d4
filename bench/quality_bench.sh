#!/usr/bin/env bash
# How well the filter removes chroma damage, against the filters a user
# would pick instead. Eight pictures (five photographs and three video
# frames), each damaged four ways:
#   chroma  uniform noise of -12..+12 levels added to U and V alone, luma
#           clean (QUILLFEN_NOISE_AMPLITUDE=N for -N..+N), 4:2:2;
#   sensor  Gaussian noise of sigma 6 added to R, G and B before the
#           conversion to YUV, so that luma and chroma are noisy together,
#           4:2:2;
#   h264    an H.264 round trip at a low rate (libx264 -crf 32, one
#           intra frame), 4:2:0, measured against the 4:2:0 picture encoded;
#   clean   the clean 4:2:2 picture itself: what a filter costs where there
#           is nothing to remove.
# Quillfen also filters the chroma, sensor and clean pictures made at 10
# bits (chroma10, sensor10, clean10): each converted from the RGB picture
# straight to 10-bit 4:2:2, so that its low bits are its own, and damaged
# at that precision by the same draws as at 8 bits, the chroma noise in
# steps of 4 codes, the sensor noise without its rounding to 8-bit RGB:
# the same noise at both depths, only the depth differs. A picture damaged
# at 8 bits and shifted to 10 would have nothing in its low bits and would
# measure only the finer rounding of the output. Its PSNR is on the 10-bit
# codes (peak 1023); the last table sets each setting's gain at 10 bits
# beside its gain at 8 bits.
# Every method runs over a small grid of its own settings: Quillfen over
# radius, form, passes and sup; FFmpeg's chromanr, bilateral, nlmeans and
# bm3d on the chroma planes, guided on the chroma planes with the luma
# (scaled to the chroma's size) as guide, and hqdn3d on the chroma planes.
# The tables give, for each damage, each method's default and its best
# single setting over all pictures (the highest mean chroma PSNR), then
# every setting's mean and its CPU time per frame, one thread, measured in
# the same run.
# Installs nothing.
#
#   bench/quality_bench.sh [BUILD_DIR] [--depths]
#
# --depths runs Quillfen's settings alone on the chroma, sensor and clean
# pictures at 8 and 10 bits and prints that last table alone (a few minutes
# where the whole run takes a quarter of an hour).
#
# Needs ffmpeg (with libx264), the pictures of Debian's python3-skimage and
# the videos of Debian's opencv-doc
# (apt-get install ffmpeg python3-skimage opencv-doc), and a build with
# the benchmarks:
#   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_BENCHMARKS=ON
#   cmake --build build-bench -j2 --target quillfen quillfen_quality_tool
# QUILLFEN_BENCH_JOBS=N runs N settings at a time (default: one per
# processor); the figures do not depend on it, only the duration does.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
depths_only=false
[ "${2:-}" = --depths ] && depths_only=true
quillfen="$build/quillfen"
tool="$build/bench/quillfen_quality_tool"
jobs=${QUILLFEN_BENCH_JOBS:-$(nproc)}
amplitude=${QUILLFEN_NOISE_AMPLITUDE:-12}
sensor_sigma=6
h264_crf=32
photos=(astronaut.png chelsea.png coffee.png motorcycle_left.png rocket.jpg)
videos=(vtest.avi:200 Megamind.avi:168 tree.avi:50)  # file:frame number
damages=(chroma sensor h264 clean)
deep_damages=(chroma10 sensor10 clean10)  # Quillfen and the input alone
$depths_only && damages=(chroma sensor clean)

missing() {
  echo "$1 (nothing was installed)" >&2
  exit 2
}
command -v ffmpeg >/dev/null 2>&1 || missing "ffmpeg is not installed: apt-get install ffmpeg"
filters=$(ffmpeg -hide_banner -filters 2>/dev/null)
for filter in chromanr bilateral nlmeans bm3d guided hqdn3d extractplanes mergeplanes; do
  [[ $filters == *" $filter "* ]] || missing "this ffmpeg has no $filter filter"
done
[[ $(ffmpeg -hide_banner -encoders 2>/dev/null) == *" libx264 "* ]] || missing "this ffmpeg has no libx264 encoder"
photo_dir=$(dpkg -L python3-skimage 2>/dev/null | grep '/skimage/data/astronaut.png$' | xargs -r dirname)
[ -n "$photo_dir" ] || missing "the photographs come from python3-skimage: apt-get install python3-skimage"
video_dir=$(dpkg -L opencv-doc 2>/dev/null | grep '/vtest.avi$' | xargs -r dirname)
[ -n "$video_dir" ] || missing "the video frames come from opencv-doc: apt-get install opencv-doc"
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
started=$(date +%s)

# ---------------------------------------------------------------- pictures
# Every picture as RGB cut to an even size, then its damaged versions:
# $work/NAME.DAMAGE.y4m, and the picture each is measured against,
# $work/NAME.DAMAGE.ref.y4m.
ff() { ffmpeg -nostdin -loglevel error -threads 1 -filter_threads 1 -filter_complex_threads 1 "$@"; }
even="crop=trunc(iw/2)*2:trunc(ih/2)*2,setsar=1"
names=()
for photo in "${photos[@]}"; do
  name=${photo%.*}
  ff -i "$photo_dir/$photo" -vf "$even" -frames:v 1 -pix_fmt rgb24 -c:v ppm -f image2 -y "$work/$name.ppm"
  names+=("$name")
done
for video in "${videos[@]}"; do
  file=${video%:*} name=${video%.*}
  name=${name,,}
  ff -i "$video_dir/$file" -vf "select=eq(n\\,${video#*:}),$even" -frames:v 1 -pix_fmt rgb24 -c:v ppm -f image2 \
    -y "$work/$name.ppm"
  names+=("$name")
done
seed=1
for name in "${names[@]}"; do
  w="$work/$name"
  ff -i "$w.ppm" -vf setsar=1 -pix_fmt yuv422p -f yuv4mpegpipe -y "$w.clean.y4m"
  "$tool" noisy "$w.clean.y4m" "$w.chroma.y4m" "$amplitude" "$seed"
  "$tool" sensor "$w.ppm" "$w.sensor.ppm" "$sensor_sigma" "$seed"
  ff -i "$w.sensor.ppm" -vf setsar=1 -pix_fmt yuv422p -f yuv4mpegpipe -y "$w.sensor.y4m"
  if ! $depths_only; then
    ff -i "$w.ppm" -vf setsar=1 -pix_fmt yuv420p -f yuv4mpegpipe -y "$w.h264.ref.y4m"
    ff -i "$w.h264.ref.y4m" -threads 1 -c:v libx264 -preset medium -crf "$h264_crf" -f h264 -y "$w.h264"
    ff -i "$w.h264" -vf setsar=1 -pix_fmt yuv420p -f yuv4mpegpipe -y "$w.h264.y4m"
  fi
  for damage in chroma sensor clean; do ln -sf "$w.clean.y4m" "$w.$damage.ref.y4m"; done
  ff -i "$w.ppm" -vf setsar=1 -pix_fmt yuv422p10le -strict -1 -f yuv4mpegpipe -y "$w.clean10.y4m"
  "$tool" noisy "$w.clean10.y4m" "$w.chroma10.y4m" "$amplitude" "$seed"
  "$tool" sensor "$w.ppm" "$w.sensor10.ppm" "$sensor_sigma" "$seed" 16
  ff -i "$w.sensor10.ppm" -vf setsar=1 -pix_fmt yuv422p10le -strict -1 -f yuv4mpegpipe -y "$w.sensor10.y4m"
  for damage in chroma10 sensor10 clean10; do ln -sf "$w.clean10.y4m" "$w.$damage.ref.y4m"; done
  seed=$((seed + 1))
done

# ---------------------------------------------------------------- methods
# method_NAME SETTING INPUT OUTPUT makes OUTPUT from INPUT (one thread) with
# the method's SETTING; SETTING is written as the method takes it.
pixel_format() {
  local header
  read -r header < "$1"
  [[ $header == *" C420"* ]] && echo yuv420p || echo yuv422p
}
ffmpeg_graph() { ff -i "$2" -filter_complex "$1" -pix_fmt "$(pixel_format "$2")" -f yuv4mpegpipe -y "$3"; }
# FILTER on the U and V planes alone, each as a grey picture.
on_chroma_planes() {
  ffmpeg_graph "[0:v]extractplanes=y+u+v[y][u][v];[u]$1[u2];[v]$1[v2];[y][u2][v2]mergeplanes=0x001020:$(pixel_format "$2")" "$2" "$3"
}
with() { [ -n "$2" ] && echo "$1=$2" || echo "$1"; }

method_none() { cp "$2" "$3"; }
method_quillfen() {
  local arguments
  read -r -a arguments <<< "$1"
  "$quillfen" --quiet --threads 1 "$2" "$3" "${arguments[@]}"
}
method_chromanr() { ffmpeg_graph "[0:v]$(with chromanr "$1")" "$2" "$3"; }
method_bilateral() { ffmpeg_graph "[0:v]bilateral=planes=6${1:+:$1}" "$2" "$3"; }
method_bm3d() { ffmpeg_graph "[0:v]bm3d=planes=6${1:+:$1}" "$2" "$3"; }
method_nlmeans() { on_chroma_planes "$(with nlmeans "$1")" "$2" "$3"; }
# On a grey plane hqdn3d's luma strength is the one that applies.
method_hqdn3d() { on_chroma_planes "hqdn3d=luma_spatial=${1#chroma_spatial=}" "$2" "$3"; }
# FFmpeg's guided filter takes the guide as its first input.
method_guided() {
  local height=ih
  [ "$(pixel_format "$2")" = yuv420p ] && height=ih/2
  ffmpeg_graph "[0:v]extractplanes=y+u+v[y][u][v];[y]split[y1][y2];[y2]scale=w=iw/2:h=$height:flags=area,setsar=1,split[g1][g2];[g1][u]guided=guidance=on:planes=1${1:+:$1}[u2];[g2][v]guided=guidance=on:planes=1${1:+:$1}[v2];[y1][u2][v2]mergeplanes=0x001020:$(pixel_format "$2")" "$2" "$3"
}

# Each method's settings, its default first.
methods=(none quillfen chromanr bilateral nlmeans bm3d guided hqdn3d)
settings_none=("")
settings_quillfen=("" "sup=true" "radius=3 gaussian=true")
for radius in 1 2 3 4; do
  for form in false true; do
    for passes in 1 2 3 5; do
      for sup in false true; do
        setting=""
        [ $radius = 1 ] || setting+="radius=$radius "
        [ $form = false ] || setting+="gaussian=true "
        setting+="iterations=$passes"
        [ $sup = false ] || setting+=" sup=true"
        settings_quillfen+=("$setting")
      done
    done
  done
done
settings_chromanr=("")
for size in 2 3 5; do
  for threshold in 15 30 45 60; do
    [ "$size/$threshold" = 5/30 ] || settings_chromanr+=("thres=$threshold:sizew=$size:sizeh=$size")
  done
done
settings_bilateral=("")
for spatial in 2 4 8; do
  for range in 0.025 0.05 0.1 0.2 0.4; do settings_bilateral+=("sigmaS=$spatial:sigmaR=$range"); done
done
settings_nlmeans=("")
for strength in 2 3 4 5 6; do settings_nlmeans+=("s=$strength" "s=$strength:r=9"); done
settings_bm3d=("")
for sigma in 6 9 12 18 24 32 40; do settings_bm3d+=("sigma=$sigma"); done
settings_guided=("")
for radius in 1 2 3 4; do
  for eps in 0.0001 0.001 0.01; do
    [ "$radius/$eps" = 3/0.01 ] || settings_guided+=("radius=$radius:eps=$eps")
  done
done
settings_hqdn3d=("chroma_spatial=3")
for strength in 2 4 8 12 16 24 32; do settings_hqdn3d+=("chroma_spatial=$strength"); done

# ---------------------------------------------------------------- quality
# One job: one setting of one method on every damaged picture, a line per
# picture: method, setting, damage, picture, PSNR, mean U and V shifts.
run_job() {
  local method=$1 setting=$2 out=$3 damage name figures list=("${damages[@]}")
  [[ $method == none || $method == quillfen ]] && list+=("${deep_damages[@]}")
  for damage in "${list[@]}"; do
    for name in "${names[@]}"; do
      "method_$method" "$setting" "$work/$name.$damage.y4m" "$out.y4m"
      figures=$("$tool" compare "$work/$name.$damage.ref.y4m" "$out.y4m")
      printf '%s\t%s\t%s\t%s\t%s\n' "$method" "$setting" "$damage" "$name" "${figures// /$'\t'}" >> "$out.tsv"
    done
  done
  rm -f "$out.y4m"
}
mkdir "$work/results"
job=0 running=0
# The slowest methods first, so that no long job is left running alone.
job_methods=(bm3d nlmeans guided quillfen chromanr bilateral hqdn3d none)
$depths_only && job_methods=(quillfen none)
for method in "${job_methods[@]}"; do
  declare -n list="settings_$method"
  for setting in "${list[@]}"; do
    job=$((job + 1))
    run_job "$method" "$setting" "$work/results/$(printf %04d $job)" &
    running=$((running + 1))
    if [ $running -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
  done
  unset -n list
done
while [ $running -gt 0 ]; do wait -n; running=$((running - 1)); done
cat "$work/results/"*.tsv > "$work/quality.tsv"
# Each method's defaults first, in the order above, for the report.
for method in "${methods[@]}"; do
  declare -n list="settings_$method"
  printf '%s\t%s\n' "$method" "${list[0]}"
  unset -n list
done > "$work/defaults.tsv"
# Each method's best setting for each damage: the highest mean PSNR over
# the pictures (of equal means, the setting listed first); a line per
# method and damage: method, damage, setting.
awk -F'\t' '
  $3 ~ /^clean/ { next }
  {
    k = $1 SUBSEP $2 SUBSEP $3
    if (!(k in sum)) listed[++n] = k
    sum[k] += $5
  }
  END {
    for (i = 1; i <= n; i++) {
      split(listed[i], f, SUBSEP); key = f[1] "\t" f[3]
      if (!(key in best) || sum[listed[i]] > best[key]) { best[key] = sum[listed[i]]; setting[key] = f[2] }
      if (!(key in order)) order[key] = ++keys
    }
    for (key in order) line[order[key]] = key "\t" setting[key]
    for (i = 1; i <= keys; i++) print line[i]
  }' "$work/quality.tsv" > "$work/best.tsv"
quality_done=$(date +%s)

# ---------------------------------------------------------------- depths
# Quillfen at 8 and 10 bits: for the chroma and sensor damages, the
# defaults and the best settings at either depth, each with its gain (its
# PSNR less the input's) at both depths, and the spread of the gains'
# difference over every setting; on the clean picture what the defaults
# and the sensor's best cost at each depth.
depth_table() {
  awk -F'\t' -v names="${names[*]}" '
function mean_of(setting, damage,   i, total) {
  for (i = 1; i <= n_names; i++) total += psnr[setting SUBSEP damage SUBSEP picture[i]]
  return total / n_names
}
function input_of(damage,   i, total) {
  for (i = 1; i <= n_names; i++) total += input[damage SUBSEP picture[i]]
  return total / n_names
}
function gain(setting, damage, i) {
  return psnr[setting SUBSEP damage SUBSEP picture[i]] - input[damage SUBSEP picture[i]]
}
# The 10-bit gain less the 8-bit one: over the mean PSNRs, and the least over the pictures.
function difference(setting, damage) { return (mean_of(setting, damage "10") - input_of(damage "10")) - (mean_of(setting, damage) - input_of(damage)) }
function least_difference(setting, damage,   i, d, least) {
  for (i = 1; i <= n_names; i++) {
    d = gain(setting, damage "10", i) - gain(setting, damage, i)
    if (i == 1 || d < least) least = d
  }
  return least
}
function row(setting, damage, tag,   a, b, c, d) {
  a = input_of(damage); b = mean_of(setting, damage); c = input_of(damage "10"); d = mean_of(setting, damage "10")
  if (damage == "clean")
    printf "| %-7s | %-62s | %6.2f | %6s | %7.2f | %6s | %6s | %6s |\n", damage, label(setting) tag, b, "", d, "", "", ""
  else
    printf "| %-7s | %-62s | %6.2f | %+6.2f | %7.2f | %+6.2f | %+6.2f | %+6.2f |\n", damage, label(setting) tag, b, b - a, d, d - c,
      difference(setting, damage), least_difference(setting, damage)
}
function label(setting) { return "quillfen " (setting == "" ? "(defaults)" : setting) }
FILENAME == ARGV[1] { if ($1 == "quillfen") defaults = $2; next }
FILENAME == ARGV[2] { if ($1 == "quillfen") best[$2] = $3; next }
$1 == "none" { input[$3 SUBSEP $4] = $5; next }
$1 == "quillfen" {
  psnr[$2 SUBSEP $3 SUBSEP $4] = $5
  if (!($2 in seen)) { seen[$2] = 1; setting[++n_settings] = $2 }
}
END {
  n_names = split(names, picture, " ")
  print "Quillfen at 8 and 10 bits: mean chroma PSNR in dB over the " n_names " pictures, each damage made at"
  print "8 bits and at 10 bits, filtered at its depth; gain: the PSNR less the input'"'"'s (chroma noise"
  printf "%.2f and %.2f dB at 8 and 10 bits, sensor noise %.2f and %.2f dB); 10 - 8 bits: the 10-bit gain\n",
    input_of("chroma"), input_of("chroma10"), input_of("sensor"), input_of("sensor10")
  print "less the 8-bit gain, over the means and the least over the pictures; [best]: the highest mean at"
  print "8 bits for the damage, [best at 10] shown where the best at 10 bits differs."
  print ""
  printf "| %-7s | %-62s | %6s | %6s | %7s | %6s | %6s | %6s |\n", "damage", "setting", "8 bits", "gain", "10 bits", "gain", "10 - 8", "least"
  print "|---------|----------------------------------------------------------------|--------|--------|---------|--------|--------|--------|"
  split("chroma sensor", noisy, " ")
  for (d = 1; d <= 2; d++) {
    damage = noisy[d]
    row(defaults, damage, "")
    row(best[damage], damage, " [best]")
    if (best[damage "10"] != best[damage]) row(best[damage "10"], damage, " [best at 10]")
  }
  row(defaults, "clean", "")
  if (best["sensor"] != defaults) row(best["sensor"], "clean", " [sensor best]")
  print ""
  for (d = 1; d <= 2; d++) {
    damage = noisy[d]; lowest = highest = least = ""; below = 0
    for (s = 1; s <= n_settings; s++) {
      x = difference(setting[s], damage); y = least_difference(setting[s], damage)
      if (lowest == "" || x < lowest) lowest = x
      if (highest == "" || x > highest) highest = x
      if (least == "" || y < least) least = y
      if (x < 0) below++
    }
    printf "%s: over all %d settings, 10 - 8 bits from %+.2f to %+.2f dB, least over the pictures %+.2f dB;" \
      " %d settings gain less at 10 bits.\n", damage, n_settings, lowest, highest, least, below
  }
}' "$work/defaults.tsv" "$work/best.tsv" "$work/quality.tsv"
}
if $depths_only; then
  depth_table
  echo
  echo "pictures: ${names[*]}; Quillfen alone at 8 and 10 bits in $((quality_done - started)) s with $jobs jobs"
  exit 0
fi

# ---------------------------------------------------------------- speed
# CPU seconds (user and system, every process) of one run.
cpu_seconds() {
  local TIMEFORMAT='%3U %3S' times
  times=$( { time "$@" >/dev/null 2>&1 || echo failed; } 2>&1 )
  if [[ $times == *failed* ]]; then echo "failed: $*" >&2; return 1; fi
  awk -v t="$times" 'BEGIN { split(t, f, " "); printf "%.4f", f[1] + f[2] }'
}
# The speed frame: the 768x576 video frame with sensor noise, once and
# nine times over; one frame's time is the difference divided by eight,
# which leaves out what a run costs before its first frame. Each run is
# timed in every round and its least time kept: other load on the machine
# only ever adds to it.
speed_frame="$work/vtest.sensor.y4m"
ff -i "$speed_frame" -vf loop=loop=8:size=1:start=0 -f yuv4mpegpipe -y "$work/speed9.y4m"
rounds=3
# Every setting of every method, one after another.
for method in "${methods[@]:1}"; do
  declare -n list="settings_$method"
  for setting in "${list[@]}"; do
    ones=() nines=()
    for _ in $(seq $rounds); do
      ones+=("$(cpu_seconds "method_$method" "$setting" "$speed_frame" "$work/speed-out.y4m")")
      nines+=("$(cpu_seconds "method_$method" "$setting" "$work/speed9.y4m" "$work/speed-out.y4m")")
    done
    awk -v method="$method" -v setting="$setting" -v ones="${ones[*]}" -v nines="${nines[*]}" 'BEGIN {
      n = split(ones, a, " "); split(nines, b, " ")
      for (i = 2; i <= n; i++) { if (a[i] < a[1]) a[1] = a[i]; if (b[i] < b[1]) b[1] = b[i] }
      printf "%s\t%s\t%.1f\n", method, setting, (b[1] - a[1]) / 8 * 1000
    }'
  done
  unset -n list
done > "$work/speed.tsv"
finished=$(date +%s)

# ---------------------------------------------------------------- report
awk -F'\t' -v names="${names[*]}" -v amplitude="$amplitude" -v sigma="$sensor_sigma" -v crf="$h264_crf" \
  -v size="$(head -1 "$speed_frame" | awk '{ print substr($2, 2) "x" substr($3, 2) }')" '
function label(method, setting,   text) {
  text = (method == "none") ? "input, no filter" : method " " (setting == "" ? "(defaults)" : setting)
  if (method != "none" && setting == default_of[method] && setting != "") text = text " (default)"
  return text
}
function abs(x) { return x < 0 ? -x : x }
function dashes(n,   text) { text = sprintf("%" n "s", ""); gsub(/ /, "-", text); return text }
function mean_of(method, setting, damage) { return sum[method SUBSEP setting SUBSEP damage] / count }
# As printed, so that equal figures have equal ranks.
function shown_mean(method, setting, damage) { return sprintf("%.2f", mean_of(method, setting, damage)) + 0 }
function ms(method, setting,   k) { k = method SUBSEP setting; return (k in speed) ? sprintf("%.1f", speed[k]) : "" }
function row(method, setting, damage, tag,   i, k, line) {
  line = sprintf("| %-62s |", label(method, setting) tag)
  for (i = 1; i <= n_names; i++) line = line sprintf(" %6.2f |", psnr[method SUBSEP setting SUBSEP damage SUBSEP picture[i]])
  k = method SUBSEP setting SUBSEP damage
  line = line sprintf(" %6.2f | %+5.2f | %+5.2f | %8s |", mean_of(method, setting, damage), du[k], dv[k], ms(method, setting))
  print line
}
function header(   i, line, rule) {
  line = sprintf("| %-62s |", "method and setting"); rule = "|" dashes(64) "|"
  for (i = 1; i <= n_names; i++) { line = line sprintf(" %6s |", substr(picture[i], 1, 6)); rule = rule "--------|" }
  print line sprintf(" %6s | %5s | %5s | %8s |", "mean", "U", "V", "ms/frame")
  print rule "--------|-------|-------|----------|"
}
FILENAME == ARGV[1] { default_of[$1] = $2; order[++n_methods] = $1; next }
FILENAME == ARGV[2] { best[$1 SUBSEP $2] = $3; next }
FILENAME == ARGV[3] { speed[$1 SUBSEP $2] = $3; next }
{
  k = $1 SUBSEP $2 SUBSEP $3
  psnr[k SUBSEP $4] = $5; sum[k] += $5
  if (abs($6) > abs(du[k])) du[k] = $6
  if (abs($7) > abs(dv[k])) dv[k] = $7
  if (!(($1 SUBSEP $2) in seen)) { seen[$1 SUBSEP $2] = 1; settings[$1, ++n_settings[$1]] = $2 }
}
END {
  n_names = split(names, picture, " "); count = n_names
  title["chroma"] = sprintf("Chroma-only noise: uniform -%d..+%d levels on U and V, luma clean; 4:2:2", amplitude, amplitude)
  title["sensor"] = sprintf("Sensor-like noise: Gaussian, sigma %d levels, on R, G and B before the conversion to YUV; 4:2:2", sigma)
  title["h264"] = sprintf("H.264 round trip: libx264 -crf %d, one intra frame, 4:2:0, against the 4:2:0 picture encoded", crf)
  title["clean"] = "The clean picture (4:2:2): what each setting costs where there is nothing to remove"
  split("chroma sensor h264", noisy, " ")
  # Summary.
  print "Mean chroma PSNR in dB over the " n_names " pictures: each method at its best single setting for the"
  print "damage (the setting is in the tables below), its defaults in brackets, and its rank among the"
  print "7 filters; on the clean picture at its defaults and at its best setting for sensor noise; the CPU"
  print "time per frame of that setting."
  print ""
  printf "| %-9s |", "method"
  for (d = 1; d <= 3; d++) printf " %-22s |", noisy[d]
  printf " %-29s | %-21s |\n", "clean: defaults / sensor best", "ms/frame: sensor best"
  printf "|-----------|"; for (d = 1; d <= 3; d++) printf "------------------------|"; print "-------------------------------|-----------------------|"
  for (d = 1; d <= 3; d++) {
    damage = noisy[d]
    for (m = 2; m <= n_methods; m++) {
      rank[order[m] SUBSEP damage] = 1
      for (o = 2; o <= n_methods; o++)
        if (shown_mean(order[o], best[order[o] SUBSEP damage], damage) > shown_mean(order[m], best[order[m] SUBSEP damage], damage))
          rank[order[m] SUBSEP damage]++
    }
  }
  for (m = 1; m <= n_methods; m++) {
    method = order[m]
    printf "| %-9s |", method == "none" ? "input" : method
    for (d = 1; d <= 3; d++) {
      damage = noisy[d]
      if (method == "none") printf " %-22s |", sprintf("%.2f", mean_of(method, "", damage))
      else printf " %-22s |", sprintf("%.2f (%.2f) #%d", mean_of(method, best[method SUBSEP damage], damage), mean_of(method, default_of[method], damage), rank[method SUBSEP damage])
    }
    if (method == "none") printf " %-29s | %-21s |\n", "", ""
    else printf " %-29s | %-21s |\n", sprintf("%.2f / %.2f", mean_of(method, default_of[method], "clean"), mean_of(method, best[method SUBSEP "sensor"], "clean")), ms(method, best[method SUBSEP "sensor"])
  }
  # One table per damage: the input, the default and the best of each method.
  for (d = 1; d <= 4; d++) {
    damage = (d <= 3) ? noisy[d] : "clean"
    print ""; print "### " title[damage]; print ""
    header()
    for (m = 1; m <= n_methods; m++) {
      method = order[m]
      if (method == "none") { row(method, "", damage, ""); continue }
      # The default, then the best setting; on the clean picture the best
      # of every damage, each named with the damages it is best in, and
      # the defaults of Quillfen with sup=true, which change only the unpack.
      delete shown; n_shown = 0
      shown[++n_shown] = default_of[method]
      if (damage == "clean" && method == "quillfen") shown[++n_shown] = "sup=true"
      for (e = 1; e <= 3; e++) {
        if (damage != "clean" && noisy[e] != damage) continue
        setting = best[method SUBSEP noisy[e]]
        for (f = 1; f <= n_shown && shown[f] != setting; f++) {}
        if (f > n_shown) shown[++n_shown] = setting
      }
      for (f = 1; f <= n_shown; f++) {
        tags = ""
        for (e = 1; e <= 3; e++)
          if ((damage == "clean" || noisy[e] == damage) && best[method SUBSEP noisy[e]] == shown[f])
            tags = tags (tags == "" ? "" : ", ") noisy[e]
        if (tags != "") tags = damage == "clean" ? " [best: " tags "]" : " [best]"
        row(method, shown[f], damage, tags)
      }
    }
  }
  # Every setting.
  print ""; print "### Every setting: mean chroma PSNR in dB per damage"; print ""
  printf "| %-62s | %6s | %6s | %6s | %6s | %6s | %8s |\n", "method and setting", "chroma", "sensor", "h264", "3 mean", "clean", "ms/frame"
  print "|" dashes(64) "|--------|--------|--------|--------|--------|----------|"
  for (m = 2; m <= n_methods; m++) {
    method = order[m]
    for (s = 1; s <= n_settings[method]; s++) {
      setting = settings[method, s]
      a = mean_of(method, setting, "chroma"); b = mean_of(method, setting, "sensor"); c = mean_of(method, setting, "h264")
      printf "| %-62s | %6.2f | %6.2f | %6.2f | %6.2f | %6.2f | %8s |\n", label(method, setting), a, b, c, (a + b + c) / 3, mean_of(method, setting, "clean"), ms(method, setting)
    }
  }
  print ""
  print "U, V: the largest shift of the mean U and V over the pictures, in levels. ms/frame: CPU time"
  print "(user + system, every thread) of one frame, " size " 4:2:2 with sensor noise, one thread"
  print "(quillfen --threads 1; ffmpeg -threads 1 -filter_threads 1 -filter_complex_threads 1), Y4M file in"
  print "and out; the least time of 9 frames less the least of 1 frame, over 3 rounds, divided by 8."
}' "$work/defaults.tsv" "$work/best.tsv" "$work/speed.tsv" "$work/quality.tsv"
echo
echo "### Quillfen at 8 and 10 bits"
echo
depth_table
echo
echo "pictures: ${names[*]}; quality $((quality_done - started)) s with $jobs jobs, speed $((finished - quality_done)) s"
