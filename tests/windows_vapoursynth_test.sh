#!/usr/bin/env bash
# libquillfen_vapoursynth.dll, the Windows archive's VapourSynth module, in
# VapourSynth R65 built for Windows with MinGW (tests/hosts/build/build-vapoursynth-mingw.sh),
# under Wine. The tests' own VapourSynth host (tests/hosts/vapoursynth_host.cpp,
# cross-built here) loads the DLL with std.LoadPlugin, which must:
#   - give the Linux command's bytes on 8-bit 4:2:0, 10-bit 4:2:2 and
#     16-bit 4:4:4 clips, both forms, and the Linux module's on float ones,
#     each frame keeping its source's properties and luma plane (the host
#     checks both);
#   - refuse the clips and values the Linux module refuses, with the same
#     messages, as the same host built for Linux shows them.
# The DLL must export its entry point alone and need no DLL but the
# system's. The core runs one worker thread: this MinGW build of it, under
# Wine 8, hangs in freeCore in about 3 runs of 8 once two worker threads
# have run, with nothing but its own std.BlankClip; the module's threads
# are tested in VapourSynth on Linux. Then the win_amd64 wheel made from the same build
# (tests/wheel_test.sh checks its files and tag), its DLL run once too.
# Exits 77, saying what is missing, without MinGW-w64, Wine, ffmpeg,
# that VapourSynth build or the Linux host.
#
#   tests/windows_vapoursynth_test.sh WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR]   (default: build)
set -euo pipefail
source "$(dirname "$0")/support/mingw_under_wine.sh"
vapoursynth="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/vapoursynth-R65-mingw"
command -v ffmpeg >/dev/null || skip "no ffmpeg (Debian: ffmpeg)"
[ -f "$vapoursynth/.complete" ] || skip "no VapourSynth for Windows in $vapoursynth (run tests/hosts/build/build-vapoursynth-mingw.sh)"
native_host=$native/tests/quillfen_vapoursynth_host
[ -x "$native_host" ] || skip "no Linux VapourSynth host in $native/tests to compare refusals with (tests/hosts/build/build-vapoursynth.sh)"
module="$windows/libquillfen_vapoursynth.dll"
[ -f "$module" ] || fail "no libquillfen_vapoursynth.dll in $windows"
[ -x "$native/quillfen" ] || fail "no native command in $native/ to compare with: build the release preset first"

exports=$(x86_64-w64-mingw32-objdump -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '$1 == "[" {print $3}')
[ "$exports" = VapourSynthPluginInit2 ] || fail "libquillfen_vapoursynth.dll exports: $exports"
imports=$(x86_64-w64-mingw32-objdump -p "$module" | awk '/DLL Name:/ {print $3}' | sort | paste -s -d ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll" ] || fail "libquillfen_vapoursynth.dll needs: $imports"

work=$(mktemp -d)
export WINEPREFIX="$windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The cross test's prefix, made once and kept with the build.
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
cd "$work"

# The host, with VapourSynth (its portable layout) and the MinGW runtime
# beside it, where Windows looks first.
"$compiler" -std=c++20 -O2 -I"$root" -isystem "$vapoursynth/include/vapoursynth" "$root/tests/hosts/vapoursynth_host.cpp" \
  "$windows/y4m/libquillfen_y4m.a" "$windows/system/libquillfen_system.a" "$vapoursynth/lib/libvapoursynth.dll.a" \
  -static -o vapoursynth_host.exe
ln -s "$vapoursynth"/bin/* .

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
windows_host() {  # MODULE SOURCE OUTPUT SETTINGS...: the host's status; its message in message.txt
  local dll=$1
  shift
  timeout 120 "$wine" vapoursynth_host.exe "$(windows_path "$dll")" "$@" --threads 1 2>message.txt
}

quiet_ffmpeg=(ffmpeg -nostdin -nostats -loglevel error -y)
clips=(
  "yuv420p 8-bit 4:2:0"
  "yuv422p10le 10-bit 4:2:2"
  "yuv444p16le 16-bit 4:4:4"
)
settings=("" "gaussian=true radius=2" "sup=true iterations=2 threshold=40")
for clip in "${clips[@]}"; do
  read -r pixel_format what <<<"$clip"
  "${quiet_ffmpeg[@]}" -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 3 -pix_fmt "$pixel_format" -strict -1 \
    -f yuv4mpegpipe in.y4m
  for setting in "${settings[@]}"; do
    read -ra arguments <<<"$setting"
    windows_host "$module" in.y4m host.y4m "${arguments[@]}" ||
      fail "$what, ${setting:-defaults}: status $?: $(cat message.txt)"
    "$native/quillfen" --quiet in.y4m command.y4m "${arguments[@]}"
    cmp -s host.y4m command.y4m || fail "$what, ${setting:-defaults}: differs from the Linux command"
  done
  echo "$what: the Linux command's bytes, frame properties kept (${#settings[@]} settings)"
done

# Float samples, made by both hosts from the same 8-bit clip: the Linux
# module's floats, bit for bit.
"${quiet_ffmpeg[@]}" -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 3 -pix_fmt yuv422p -f yuv4mpegpipe in.y4m
windows_host "$module" float:in.y4m host.y4m gaussian=true radius=2 || fail "float 4:2:2: status $?: $(cat message.txt)"
"$native_host" "$native/libquillfen_vapoursynth.so" float:in.y4m linux.y4m gaussian=true radius=2
cmp -s host.y4m linux.y4m || fail "float 4:2:2: differs from the Linux module's floats"
echo "32-bit float 4:2:2: the Linux module's floats"

# The same refusals as the Linux module's, word for word.
refusals=(
  "blank:RGB24:64x32 radius=0"
  "blank:GRAY16:64x32"
  "blank:YUV444PH:64x32"
  "blank:variable:64x32"
  "blank:YUV422P8:64x32 iterations=-1"
  "blank:YUV420P8:64x32 threshold=4294967296"
  "blank:YUV420P8:64x32 radius=32"
  "blank:YUV422P8:63x32"
)
for refusal in "${refusals[@]}"; do
  read -r source arguments <<<"$refusal"
  read -ra arguments <<<"${arguments:-}"
  status=0
  windows_host "$module" "$source" - "${arguments[@]}" || status=$?
  linux_status=0
  linux_message=$("$native_host" "$native/libquillfen_vapoursynth.so" "$source" - "${arguments[@]}" 2>&1) || linux_status=$?
  [ "$status" = 2 ] && [ "$linux_status" = 2 ] && [ "$(tr -d '\r' <message.txt)" = "$linux_message" ] ||
    fail "$refusal: status $status, \"$(cat message.txt)\"; on Linux status $linux_status, \"$linux_message\""
done
echo "refused as on Linux: ${#refusals[@]} clips and values"

# The win_amd64 wheel, and its DLL in the same host.
"$root/tests/wheel_test.sh" "$windows" "$work/wheel"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$work"/wheel/*.whl "$work/unpacked"
wheel_module=$work/unpacked/vapoursynth/plugins/quillfen/libquillfen_vapoursynth.dll
windows_host "$wheel_module" in.y4m host.y4m gaussian=true radius=2 || fail "the wheel's DLL: $(cat message.txt)"
"$native/quillfen" --quiet in.y4m command.y4m gaussian=true radius=2
cmp -s host.y4m command.y4m || fail "the wheel's DLL differs from the Linux command"
echo "passed: libquillfen_vapoursynth.dll and the wheel's DLL in VapourSynth R65 for Windows under Wine"
