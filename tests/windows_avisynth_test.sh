#!/usr/bin/env bash
# Quillfen.dll, the AviSynth+ module for Windows, in AviSynth+ built for
# Windows with MinGW (tests/hosts/build/build-avisynthplus-mingw.sh), under Wine. A host
# program of the tests' own on AviSynth's C interface
# (tests/hosts/avisynth_c_host.cpp) runs scripts that LoadPlugin the DLL and
# writes Y4M, which must hold the Linux command's bytes:
#   - YUY2 and YV12 clips, both forms and sup, with Prefetch(2), and a chain
#     of two calls against two commands in a pipe;
#   - 10-bit 4:2:2 and 16-bit 4:4:4 clips, fixed and converging passes, with
#     Prefetch(2);
#   - float 4:2:0, 4:2:2 and 4:4:4 clips give the floats of the Linux module
#     in the Linux host program, where the native build has both;
#   - refusals, and working images too large for memory, reach the script as
#     errors with the filter's own messages.
# Both forms must give those bytes exactly: the Gaussian weight is the
# correctly rounded power, computed by the filter itself (MinGW's pow, once
# asked for some weights, differed from glibc's in the last bits of about
# 0.6 % of them, and the chroma then by 1).
# The DLL must export its two entry points alone (the second marks a module
# that takes 64-bit integers) and need no DLL but the
# system's: neither the MinGW runtime nor AviSynth.dll, whose entry points
# it takes from the AviSynth+ that loads it.
# Exits 77, saying what is missing, without MinGW-w64, Wine or that
# AviSynth+ build.
#
#   tests/windows_avisynth_test.sh WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]   (default: build)
set -euo pipefail
source "$(dirname "$0")/support/mingw_under_wine.sh"
avisynth="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/avisynthplus-1ffeb08c-mingw"
[ -f "$avisynth/.complete" ] || skip "no AviSynth+ for Windows in $avisynth (tests/hosts/build/build-avisynthplus-mingw.sh builds it)"
plugin="$windows/Quillfen.dll"
[ -f "$plugin" ] || fail "no Quillfen.dll in $windows"
[ -x "$native/quillfen" ] || fail "no native command in $native/ to compare with: build the release preset first"

# What the DLL exports and which DLLs it needs, from its own tables.
exports=$(x86_64-w64-mingw32-objdump -p "$plugin" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '$1 == "[" {print $3}')
[ "$(echo $exports)" = "avisynth_c_plugin_init avisynth_c_plugin_init2" ] || fail "Quillfen.dll exports: $exports"
imports=$(x86_64-w64-mingw32-objdump -p "$plugin" | awk '/DLL Name:/ {print $3}' | sort | paste -s -d ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll" ] || fail "Quillfen.dll needs: $imports"

work=$(mktemp -d)
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The host, with AviSynth+ and its runtime beside it, where Windows looks first.
"$compiler" -std=c++20 -O2 -I"$root" -isystem "$avisynth/include/avisynth" "$root/tests/hosts/avisynth_c_host.cpp" \
  "$root/y4m/y4m_header.cpp" "$avisynth/lib/AviSynth.dll.a" -static -o avisynth_c_host.exe
ln -s "$avisynth"/bin/*.dll .

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
run_script() {  # OUTPUT SCRIPT: the host's status; its message in message.txt
  printf '%s\n' "$2" >script.avs
  timeout 120 "$wine" avisynth_c_host.exe script.avs "$1" 2>message.txt
}
load="LoadPlugin(\"$(windows_path "$plugin")\")"
run_command() {  # INPUT OUTPUT ARGUMENTS
  # shellcheck disable=SC2086
  "$native/quillfen" --quiet "$1" "$2" $3 || fail "quillfen $3 on $1"
}

run_script in422.y4m "Y4MSource(\"$(windows_path "$root/samples/quillfen-sample.y4m")\").Crop(0, 0, 64, 48).Trim(0, 3)" ||
  fail "cutting the 4:2:2 clip: $(cat message.txt)"
run_script in420.y4m 'Y4MSource("in422.y4m").ConvertToYV12()' || fail "converting the 4:2:0 clip: $(cat message.txt)"


# The script's Quillfen arguments, the command's for the same settings, and
# what ends the script.
settings=(
  "||"
  "gaussian=true|gaussian=true|"
  "gaussian=true, radius=2|gaussian=true radius=2|Prefetch(2)"
  "sup=true, iterations=3|sup=true iterations=3|Prefetch(2)"
)
for clip in in422.y4m in420.y4m; do
  for entry in "${settings[@]}"; do
    IFS='|' read -r script_arguments command_arguments prefetch <<<"$entry"
    what="$clip Quillfen($script_arguments)${prefetch:+ $prefetch}"
    run_script host.y4m "$load
Y4MSource(\"$clip\").Quillfen($script_arguments)
$prefetch" || fail "$what: $(cat message.txt)"
    ! cmp -s host.y4m "$clip" || fail "$what changed no chroma"
    run_command "$clip" command.y4m "$command_arguments"
    cmp -s host.y4m command.y4m || fail "$what differs from the command"
    echo "$what: the Linux command's bytes"
  done
done

# Deeper clips, made in AviSynth+ for Windows (Blur fills their low bits).
for format in "ConvertToYUV422().ConvertBits(10)" "ConvertToYUV444().ConvertBits(16)"; do
  clip="Y4MSource(\"in422.y4m\").$format.Blur(0.5)"
  run_script deep.y4m "$clip" || fail "$format: $(cat message.txt)"
  for entry in "|" "gaussian=true, radius=2|gaussian=true radius=2" "sup=true, iterations=2|sup=true iterations=2" \
      "threshold=0|threshold=0"; do
    IFS='|' read -r script_arguments command_arguments <<<"$entry"
    run_script host.y4m "$load
$clip.Quillfen($script_arguments)
Prefetch(2)" || fail "$format.Quillfen($script_arguments): $(cat message.txt)"
    run_command deep.y4m command.y4m "$command_arguments"
    cmp -s host.y4m command.y4m || fail "$format.Quillfen($script_arguments) differs from the command"
    ! cmp -s host.y4m deep.y4m || fail "$format.Quillfen($script_arguments) changed no chroma"
  done
  echo "$format ($(head -n 1 deep.y4m | grep -o 'C[^ ]*')): the Linux command's bytes"
done

# Float clips against the Linux module in the same host program.
linux_host="$native/tests/quillfen_avisynth_c_host"
linux_module="$native/libquillfen_avisynth.so"
if [ -x "$linux_host" ] && [ -e "$linux_module" ]; then
  for format in "ConvertToYV12()" "ConvertToYV16()" "ConvertToYV24()"; do
    for arguments in "" "gaussian=true, radius=2" "sup=true, iterations=3"; do
      clip="Y4MSource(\"in422.y4m\").$format.FloatFromBytes().Quillfen($arguments)"
      run_script host.out "$load
$clip
Prefetch(2)" || fail "$clip: $(cat message.txt)"
      printf '%s\n' "LoadPlugin(\"$linux_module\")" "$clip" >linux.avs
      "$linux_host" linux.avs linux.out || fail "$clip in the Linux host"
      cmp -s host.out linux.out || fail "$clip differs from the Linux module's floats"
    done
    echo "$format float: the Linux module's floats"
  done
else
  echo "float clips not compared: the native build has no AviSynth+ host program"
fi

run_script host.y4m "$load
Y4MSource(\"in422.y4m\").Quillfen().Quillfen(sup=true, radius=2)" || fail "a chain of two calls: $(cat message.txt)"
"$native/quillfen" --quiet in422.y4m - | "$native/quillfen" --quiet - command.y4m sup=true radius=2
cmp -s host.y4m command.y4m || fail "a chain of two calls differs from two commands in a pipe"

# The clip, Quillfen's arguments, and the message. Working images of a
# terabyte cannot be allocated, which must come back as an error too;
# AddBorders makes the clip that size without making a frame of it.
blank() { printf 'BlankClip(pixel_type="%s", width=64, height=48)' "$1"; }
taken="YUY2 or YUV 4:2:0, 4:2:2 or 4:4:4 of 8 to 16 bits or float only"
refusals=(
  "$(blank YUY2)|radius=0|Quillfen: \"radius\" parameter must be greater than or equal to one."
  "$(blank YV12)|iterations=-1|Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive."
  "$(blank YV12)|iterations=4294967298|Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive."
  "$(blank YUY2)|threshold=256|Quillfen: \"threshold\" parameter must be between zero and 255 inclusive."
  "$(blank YV12)|radius=48|Quillfen: \"radius\" parameter must be less than the frame width and height."
  "$(blank RGB32)||Quillfen: the clip is RGB32; $taken: add ConvertToYUV444() before Quillfen."
  "$(blank RGBPS)||Quillfen: the clip is RGBPS; $taken: add ConvertToYUV444() before Quillfen."
  "$(blank YUY2).AddBorders(0, 0, 599936, 599952)||Quillfen: out of memory."
)
for entry in "${refusals[@]}"; do
  IFS='|' read -r clip arguments message <<<"$entry"
  rm -f out.y4m
  status=0
  run_script out.y4m "$load
$clip.Quillfen($arguments)" || status=$?
  [ "$status" = 1 ] && grep -qF -- "$message" message.txt && [ ! -e out.y4m ] ||
    fail "$clip.Quillfen($arguments): status $status, \"$(cat message.txt)\", expected \"$message\""
done
echo "passed: Quillfen.dll in AviSynth+ for Windows under Wine"
