#!/usr/bin/env bash
# Builds quillfen.exe for Windows x64 with Debian's MinGW-w64 into
# build-windows/ and runs it under Wine: 4:2:2 and 4:2:0 clips (and
# 10-bit 4:2:2 and 16-bit 4:4:4 ones), both forms, one and two threads,
# files and pipes, each output compared byte for byte with the native
# command's; the ways the Windows calls differ from POSIX ones (a read at
# an offset moves a Windows file's position, LoadLibrary searches the
# system for a bare name, renaming onto an existing file, the identity of a
# file); and refusals that must leave no
# file behind. Then the tests of the Windows AviSynth+ and VapourSynth
# modules in those hosts built with MinGW. Exits 77, saying what is
# missing, where MinGW-w64, Wine or ffmpeg is not installed (tests/run_all.sh
# installs them).
#
#   tests/windows_cross_test.sh [NATIVE_BUILD_DIR]    (default: build, the release preset's)
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(realpath "${1:-build}")
cross=$PWD/build-windows

wine=$(command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
[ -x "$wine" ] || missing+=(wine)
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
if [ ${#missing[@]} -gt 0 ]; then
  echo "skipped: the Windows cross test needs ${missing[*]}"
  exit 77
fi
if [ ! -x "$native/quillfen" ]; then
  echo "no native command in $native/ to compare with: build the release preset first"
  exit 1
fi

# The host modules need only their hosts' headers: Quillfen.dll those of the
# MinGW AviSynth+ the test below runs in, the VapourSynth module those of the
# host cache's VapourSynth, when CI has made them.
host_cache=${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}
host_options=()
[ -f "$host_cache/avisynthplus-1ffeb08c-mingw/include/avisynth/avisynth_c.h" ] &&
  host_options+=(-DQUILLFEN_AVISYNTH_INCLUDE_DIR="$host_cache/avisynthplus-1ffeb08c-mingw/include/avisynth")
[ -d "$host_cache/vapoursynth-R65" ] && host_options+=(-DQUILLFEN_VAPOURSYNTH_PREFIX="$host_cache/vapoursynth-R65")
cmake --no-warn-unused-cli -S . -B "$cross" --toolchain cmake/x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
  "${host_options[@]}" >/dev/null
cmake --build "$cross" -j2
if x86_64-w64-mingw32-objdump -p "$cross/quillfen.exe" | grep 'DLL Name:' |
    grep -viE 'kernel32|msvcrt'; then
  echo "quillfen.exe needs a DLL beyond the system's (above): the MinGW runtime must be linked in"
  exit 1
fi

# A prefix of the run's own, made once and kept with the build.
export WINEPREFIX=$cross/wine WINEDEBUG=-all
trap '"$wineserver" -k 2>/dev/null || true' EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  started=$(date +%s)
  "$wine" wineboot -i >/dev/null 2>&1
  echo "wine prefix made in $(($(date +%s) - started)) s"
fi

clips=$(mktemp -d)
trap 'rm -rf "$clips"; "$wineserver" -k 2>/dev/null || true' EXIT
repository=$PWD
cd "$clips"
quiet_ffmpeg=(ffmpeg -nostdin -nostats -loglevel error -y)
cp "$repository/samples/quillfen-sample.y4m" 422.y4m
"${quiet_ffmpeg[@]}" -i 422.y4m -pix_fmt yuv420p -f yuv4mpegpipe 420.y4m
# A second picture at another size, colour edges sharper than the sample's.
"${quiet_ffmpeg[@]}" -f lavfi -i testsrc2=size=176x144:rate=25 -frames:v 6 -pix_fmt yuv422p -f yuv4mpegpipe bars422.y4m
"${quiet_ffmpeg[@]}" -i bars422.y4m -pix_fmt yuv420p -f yuv4mpegpipe bars420.y4m
# Formats no 2.5 module takes: two-byte samples, 4:4:4 at an odd size.
"${quiet_ffmpeg[@]}" -i bars422.y4m -pix_fmt yuv422p10le -strict -1 -f yuv4mpegpipe bars422p10.y4m
"${quiet_ffmpeg[@]}" -f lavfi -i testsrc2=size=75x45:rate=25 -frames:v 3 -pix_fmt yuv444p16le -strict -1 \
  -f yuv4mpegpipe bars444p16.y4m

windows() { timeout 120 "$wine" "$cross/quillfen.exe" "$@"; }

# The native and the Windows output of one run: the same bytes, the
# Gaussian form included. Its weight is the correctly rounded power,
# computed by the filter itself; MinGW's pow, which the filter once asked,
# differed from glibc's in 17 chroma samples of the sample clip at radius 1
# (the second run below).
same_output() {  # NATIVE WINDOWS WHAT
  if cmp -s "$1" "$2"; then echo "same bytes under Wine: $3"; return; fi
  echo "Windows output differs from the native one: $3"
  cmp "$1" "$2" || true
  exit 1
}

# clip, threads, how (file or pipe), then the filter's arguments. Reading
# from a file counts its frames by reads at offsets first, which must leave
# the position at frame 0.
runs=(
  "422 1 file"
  "422 2 file gaussian=true"
  "422 2 file gaussian=true radius=3 iterations=0 threshold=40"
  "bars422 2 pipe sup=true radius=2 iterations=2"
  "420 2 file radius=2"
  "420 1 pipe gaussian=true radius=2 threshold=60"
  "bars420 2 file gaussian=true radius=4 iterations=1 sup=true"
  "bars422p10 2 file radius=2"
  "bars444p16 1 pipe radius=3 iterations=2"
  "bars422p10 1 file gaussian=true"
  "bars444p16 2 file gaussian=true radius=2 iterations=2"
)
for run in "${runs[@]}"; do
  read -r clip threads how arguments <<<"$run"
  read -ra filter_arguments <<<"${arguments:-}"
  "$native/quillfen" --quiet --threads "$threads" "$clip.y4m" native.y4m "${filter_arguments[@]}"
  if [ "$how" = pipe ]; then
    windows --quiet --threads "$threads" - - "${filter_arguments[@]}" <"$clip.y4m" >windows.y4m
  else
    windows --quiet --threads "$threads" "$clip.y4m" windows.y4m "${filter_arguments[@]}"
  fi
  same_output native.y4m windows.y4m "$clip, $threads threads, $how, ${arguments:-defaults}"
done

# The per-frame figures, written through a stdio stream of their own.
"$native/quillfen" --quiet --stats native.csv 420.y4m native.y4m radius=2
windows --quiet --stats windows.csv 420.y4m windows.y4m radius=2
cmp native.csv windows.csv
echo "same figures under Wine: --stats"

# A range skipped by moving the file position, then joined (a file beside
# OUTPUT renamed onto it, which exists) back into the whole run's output.
"$native/quillfen" --quiet 422.y4m native.y4m radius=2
windows --quiet --frames 0:3 422.y4m first.y4m radius=2
windows --quiet --frames 4: 'Z:'"${clips//\//\\}"'\422.y4m' rest.y4m radius=2
windows --join windows.y4m first.y4m rest.y4m
cmp native.y4m windows.y4m
if ls | grep -q join-; then echo "--join left its file beside OUTPUT"; exit 1; fi
[ "$(windows --probe 422.y4m | tr -d '\r')" = "$("$native/quillfen" --probe 422.y4m)" ]
echo "same bytes under Wine: --frames from a file and from a Z: path, --join onto an existing file, --probe"
# A 2.5 module built by the same MinGW (its runtime linked in), given by
# its absolute Windows path.
if [ -f "$cross/libquillfen.dll" ]; then
  windows --quiet --plugin 'Z:'"${cross//\//\\}"'\libquillfen.dll' 422.y4m windows.y4m radius=2
  cmp native.y4m windows.y4m
  echo "same bytes under Wine: the 2.5 module libquillfen.dll given by its Z: path"
fi

# Output that must not appear, the line expected, the command's arguments:
# each refused with its one line, a non-zero exit and no output. A plugin
# path reaches LoadLibrary as given: an absolute one, in each of its forms,
# finds Windows' own kernel32.dll, which has no plugin entry.
echo "not a video" >not-y4m.txt
refusals=(
  'refused.y4m|is not a YUV4MPEG2 (Y4M) stream|not-y4m.txt refused.y4m'
  'refused.y4m|Quillfen: "radius"|422.y4m refused.y4m radius=0'
  '|is the same file as INPUT|422.y4m 422.y4m'
  'refused.png|--compare is not in this build (it needs libpng)|--compare 0 422.y4m refused.png'
  'refused.y4m|has no AvisynthPluginInit2 entry point|--plugin C:\windows\system32\kernel32.dll 422.y4m refused.y4m'
  'refused.y4m|has no AvisynthPluginInit2 entry point|--plugin c:/windows/system32/kernel32.dll 422.y4m refused.y4m'
  'refused.y4m|has no AvisynthPluginInit2 entry point|--plugin \\?\C:\windows\system32\kernel32.dll 422.y4m refused.y4m'
)
for entry in "${refusals[@]}"; do
  IFS='|' read -r output expected arguments <<<"$entry"
  read -ra arguments <<<"$arguments"
  status=0
  windows --quiet "${arguments[@]}" 2>errors.txt || status=$?
  if [ "$status" -eq 0 ] || ! grep -qF -- "$expected" errors.txt || [ "$(wc -l <errors.txt)" -ne 1 ] ||
     { [ -n "$output" ] && [ -e "$output" ]; }; then
    echo "Windows refusal went wrong (status $status) on: ${arguments[*]}; expected \"$expected\" in:"
    cat errors.txt
    exit 1
  fi
  echo "refused under Wine, status $status: $(tr -d '\r' <errors.txt)"
done
cmp 422.y4m "$repository/samples/quillfen-sample.y4m"

# A reader that goes away: the command ends on its own, without a hang.
windows 422.y4m - | head -c 1000 >/dev/null
echo "the reader of a pipe went away early: the command ended"

cd "$repository"
# The host tests of the modules; each one's own "skipped: ..." line reaches
# the suite's summary; 77 is no failure.
for host_test in tests/windows_avisynth_test.sh tests/windows_vapoursynth_test.sh; do
  status=0
  "$host_test" "$cross" "$native" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit "$status"
done
