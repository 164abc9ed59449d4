#!/usr/bin/env bash
# The plugin inside AviSynth+, driven by the tests' own host program:
#   avisynthplus_test.sh CASE HOST PLUGIN COMMAND SAMPLE [VALGRIND]
# CASE is one of
#   same-bytes   4:2:2 clips give the quillfen command's bytes, both forms
#                and sup, with and without Prefetch(2)
#   four-two-oh  4:2:0 clips through the host's own conversions: luma
#                unchanged, chroma near the command's
#   autoload     a plugin in ~/.local/lib/avisynth is found without LoadPlugin
#   refusals     the constructor's four messages reach the script exactly;
#                the newer formats that share the YV12 bits, and RGB, are refused
#   valgrind     no invalid access and no definite leak for one filter,
#                Prefetch(2) and a chain of two filters, on 4:2:0
# The clips are 64 x 48 pieces of SAMPLE, cut and converted by AviSynth+.
set -euo pipefail
case_name=$1 host=$2 plugin=$3 command=$4 sample=$5 valgrind=${6:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

load="LoadPlugin(\"$plugin\")"
source_422="QuillfenTestSource(\"$sample\").Crop(0, 0, 64, 48).Trim(0, 3)"
"$host" write "$source_422" in422.y4m || fail "cutting the 4:2:2 clip"
"$host" write "$source_422.ConvertToYV12()" in420.y4m || fail "converting the 4:2:0 clip"

# The script's Quillfen arguments and the command's for the same settings.
settings=(
  "||"
  "gaussian=true, radius=2|gaussian=true radius=2|Prefetch(2)"
  "sup=true, iterations=3|sup=true iterations=3|Prefetch(2)"
)

run_command() {  # INPUT OUTPUT ARGUMENTS
  # shellcheck disable=SC2086
  "$command" --quiet "$1" "$2" $3 || fail "quillfen $3 on $1"
}

case $case_name in
  same-bytes)
    for entry in "${settings[@]}"; do
      IFS='|' read -r script_arguments command_arguments prefetch <<<"$entry"
      "$host" write "$load
QuillfenTestSource(\"in422.y4m\").Quillfen($script_arguments)
$prefetch" host.y4m || fail "AviSynth+ with Quillfen($script_arguments) $prefetch"
      run_command in422.y4m command.y4m "$command_arguments"
      "$host" compare host.y4m command.y4m 0 >/dev/null || fail "Quillfen($script_arguments) $prefetch differs from the command"
      ! "$host" compare host.y4m in422.y4m 0 >/dev/null 2>&1 || fail "Quillfen($script_arguments) changed no chroma"
    done
    ;;
  four-two-oh)
    for prefetch in "" "Prefetch(2)"; do
      "$host" write "$load
QuillfenTestSource(\"in420.y4m\").Quillfen()
$prefetch" host.y4m || fail "AviSynth+ on 4:2:0 $prefetch"
      "$host" compare host.y4m in420.y4m 255 >/dev/null || fail "the luma changed $prefetch"
      run_command in420.y4m command.y4m ""
      # AviSynth+ converts between 4:2:0 and YUY2 with its own rounding.
      distance=$("$host" compare host.y4m command.y4m 2) ||
        fail "4:2:0 chroma $prefetch is further from the command's than the host's conversions explain"
      echo "against the command ${prefetch:-without Prefetch}: $distance"
    done
    ;;
  autoload)
    mkdir -p home/.local/lib/avisynth
    ln -s "$plugin" home/.local/lib/avisynth/
    HOME="$work/home" "$host" write "QuillfenTestSource(\"in422.y4m\").Quillfen()" host.y4m ||
      fail "the plugin was not autoloaded from ~/.local/lib/avisynth"
    run_command in422.y4m command.y4m ""
    "$host" compare host.y4m command.y4m 0 >/dev/null || fail "the autoloaded plugin's frames differ from the command's"
    ;;
  refusals)
    refuse() {  # SCRIPT MESSAGE
      "$host" refuse "$load
$1" "$2" || fail "$1"
    }
    refuse "BlankClip(pixel_type=\"YUY2\", width=64, height=48).Quillfen(radius=0)" \
      'Quillfen: "radius" parameter must be greater than or equal to one.'
    refuse "BlankClip(pixel_type=\"YV12\", width=64, height=48).Quillfen(iterations=-1)" \
      'Quillfen: "iterations" parameter must be greater than or equal to zero.'
    refuse "BlankClip(pixel_type=\"YUY2\", width=64, height=48).Quillfen(threshold=256)" \
      'Quillfen: "threshold" parameter must be between zero and 255 inclusive.'
    for format in RGB32 YV16 YV24 YV411 YUV420P16; do
      refuse "BlankClip(pixel_type=\"$format\", width=64, height=48).Quillfen()" "Quillfen: YUY2 or YV12 data only."
    done
    ;;
  valgrind)
    [ -n "$valgrind" ] || { echo "skipped: valgrind is not installed (Debian: valgrind)"; exit 77; }
    scripts=(
      "QuillfenTestSource(\"in420.y4m\").Quillfen()"
      "QuillfenTestSource(\"in420.y4m\").Quillfen(sup=true)
Prefetch(2)"
      "s = QuillfenTestSource(\"in420.y4m\")
StackHorizontal(s, s.Quillfen().Quillfen(gaussian=true))"
    )
    for script in "${scripts[@]}"; do
      "$valgrind" -q --undef-value-errors=no --leak-check=full --errors-for-leak-kinds=definite --error-exitcode=99 \
        "$host" write "$load
$script" out.y4m 2>valgrind.log || { cat valgrind.log >&2; fail "valgrind on: $script"; }
      if [ -s valgrind.log ]; then cat valgrind.log >&2; fail "valgrind reported on: $script"; fi
    done
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
echo "passed: $case_name"
