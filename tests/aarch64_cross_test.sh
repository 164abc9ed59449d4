#!/usr/bin/env bash
# Builds Quillfen for aarch64 with Debian's cross compiler and runs it under
# qemu-user: the core tests (the propagation pass against its reference, the
# kernels, the image conversions), then whole-command runs on 4:2:2 and 4:2:0
# clips, both forms, several radii and thread counts, each output compared
# byte for byte with the native build's; then the aarch64 wheel, its module
# run in VapourSynth R65 built for aarch64. Skips, saying what is missing, where
# the cross compiler, qemu or the arm64 libraries are not installed (tests/run_all.sh
# installs them).
#
#   tests/aarch64_cross_test.sh [NATIVE_BUILD_DIR]    (default: build, the release preset's)
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
cross=build-aarch64
jobs=$(nproc 2>/dev/null || echo 2)

missing=()
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || missing+=(qemu-user)
[ -e /lib/ld-linux-aarch64.so.1 ] && [ -e /usr/lib/aarch64-linux-gnu/libstdc++.so.6 ] || missing+=(libstdc++6:arm64)
[ -e /usr/lib/aarch64-linux-gnu/libpng.so ] || missing+=(libpng-dev:arm64)
[ -e /usr/lib/aarch64-linux-gnu/libgtest.a ] || missing+=(libgtest-dev:arm64)
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  echo "skipped: the aarch64 cross build needs ${missing[*]} (Debian, after dpkg --add-architecture arm64)"
  exit 77
fi
if [ ! -x "$native/quillfen" ]; then
  echo "no native command in $native/ to compare with: build the release preset first"
  exit 1
fi

# VapourSynth's headers, for the module of the wheel, from the host cache.
host_cache=${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}
host_options=()
[ -d "$host_cache/vapoursynth-R65" ] && host_options+=(-DQUILLFEN_VAPOURSYNTH_PREFIX="$host_cache/vapoursynth-R65")
cmake -S . -B "$cross" --toolchain cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_TESTS=ON \
  "${host_options[@]}" >/dev/null
cmake --build "$cross" -j"$jobs" --target quillfen quillfen_plugin quillfen_core_tests
# The toolchain names qemu-aarch64 as the emulator, so ctest runs the tests through it.
ctest --test-dir "$cross" -j"$jobs" --output-on-failure

clips=$(mktemp -d)
trap 'rm -rf "$clips"' EXIT
cp samples/quillfen-sample.y4m "$clips/422.y4m"
# The same clip in 4:2:0, each chroma row pair averaged, halves up.
python3 - "$clips/422.y4m" "$clips/420.y4m" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
header, rest = data.split(b"\n", 1)
tags = header.split()
width = int(next(t[1:] for t in tags if t.startswith(b"W")))
height = int(next(t[1:] for t in tags if t.startswith(b"H")))
tags = [b"C420jpeg" if t == b"C422" else b"XYSCSS=420JPEG" if t == b"XYSCSS=422" else t for t in tags]
out = [b" ".join(tags) + b"\n"]
luma, chroma_row = width * height, width // 2
frame = luma + 2 * chroma_row * height
line = b"FRAME\n"
while rest:
    planes, rest = rest[len(line):len(line) + frame], rest[len(line) + frame:]
    out.append(line + planes[:luma])
    for plane in (planes[luma:luma + chroma_row * height], planes[luma + chroma_row * height:]):
        rows = [plane[y * chroma_row:(y + 1) * chroma_row] for y in range(height)]
        out.append(bytes((a + b + 1) >> 1 for upper, lower in zip(rows[0::2], rows[1::2])
                         for a, b in zip(upper, lower)))
open(sys.argv[2], "wb").write(b"".join(out))
EOF

# chroma, threads, then the filter's arguments.
# Each takes a few seconds under emulation; the ones that converge take
# one to four passes a frame.
runs=(
  "422 2"
  "422 1 gaussian=true"
  "422 2 gaussian=true radius=3 iterations=0 threshold=40"
  "422 2 sup=true radius=5 iterations=2"
  "420 1 radius=2"
  "420 2 gaussian=true radius=2 threshold=60"
  "420 1 gaussian=true radius=4 iterations=1 sup=true"
  "420 2 radius=1 iterations=0 threshold=30"
)
for run in "${runs[@]}"; do
  read -r chroma threads arguments <<<"$run"
  read -ra filter_arguments <<<"${arguments:-}"
  "$native/quillfen" --quiet --threads "$threads" "$clips/$chroma.y4m" "$clips/native.y4m" "${filter_arguments[@]}"
  qemu-aarch64 "$cross/quillfen" --quiet --threads "$threads" "$clips/$chroma.y4m" "$clips/aarch64.y4m" \
    "${filter_arguments[@]}"
  if ! cmp -s "$clips/native.y4m" "$clips/aarch64.y4m"; then
    echo "aarch64 output differs from the native one: $chroma, $threads threads, ${arguments:-defaults}"
    cmp "$clips/native.y4m" "$clips/aarch64.y4m" || true
    exit 1
  fi
  echo "same bytes on aarch64: $chroma, $threads threads, ${arguments:-defaults}"
done
echo "aarch64 clips: all ${#runs[@]} gave the native build's bytes"

# The aarch64 wheel (tests/wheel_test.sh checks its files and tag), its
# module in VapourSynth R65 built for aarch64 (tests/hosts/build/build-vapoursynth-aarch64.sh),
# run by the tests' own host cross-built, against the native command.
vapoursynth=$host_cache/vapoursynth-R65-aarch64
if [ ! -f "$vapoursynth/.complete" ] || ! command -v ffmpeg >/dev/null; then
  # A part skipped: its line reaches the test command's summary.
  echo "skipped: the aarch64 wheel's test needs ffmpeg and VapourSynth for aarch64 in $vapoursynth (tests/hosts/build/build-vapoursynth-aarch64.sh)"
  exit 0
fi
status=0
tests/wheel_test.sh "$cross" "$clips/wheel" || status=$?
[ "$status" -eq 0 ] || { [ "$status" -eq 77 ] && exit 0; } || exit "$status"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$clips"/wheel/*.whl "$clips/unpacked"
aarch64-linux-gnu-g++ -std=c++20 -O2 -I. -isystem "$vapoursynth/include/vapoursynth" tests/hosts/vapoursynth_host.cpp \
  "$cross/y4m/libquillfen_y4m.a" "$cross/system/libquillfen_system.a" -L"$vapoursynth/lib" -lvapoursynth \
  -Wl,-rpath,"$vapoursynth/lib" -o "$clips/vapoursynth_host"
for clip in "yuv420p 8-bit 4:2:0 radius=2 gaussian=true" "yuv422p10le 10-bit 4:2:2 sup=true iterations=2" \
            "yuv444p16le 16-bit 4:4:4 radius=3 threshold=40"; do
  read -r pixel_format depth layout arguments <<<"$clip"
  read -ra filter_arguments <<<"$arguments"
  ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 3 -pix_fmt "$pixel_format" \
    -strict -1 -f yuv4mpegpipe "$clips/in.y4m"
  "$native/quillfen" --quiet "$clips/in.y4m" "$clips/native.y4m" "${filter_arguments[@]}"
  qemu-aarch64 "$clips/vapoursynth_host" "$clips/unpacked/vapoursynth/plugins/quillfen/libquillfen_vapoursynth.so" \
    "$clips/in.y4m" "$clips/aarch64.y4m" "${filter_arguments[@]}"
  if ! cmp -s "$clips/native.y4m" "$clips/aarch64.y4m"; then
    echo "the aarch64 wheel's module in VapourSynth differs from the native command: $depth $layout"
    exit 1
  fi
  echo "the aarch64 wheel's module in VapourSynth R65 under qemu: the native command's bytes on $depth $layout"
done
