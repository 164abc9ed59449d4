#!/usr/bin/env bash
# Builds Quillfen for aarch64 with Debian's cross compiler and runs it under
# qemu-user: the core tests (the propagation pass against its reference, the
# kernels, the image conversions), then whole-command runs on 4:2:2 and 4:2:0
# clips, both forms, several radii and thread counts, each output compared
# byte for byte with the native build's. Skips, saying what is missing, where
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

cmake -S . -B "$cross" --toolchain cmake/aarch64-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release -DQUILLFEN_BUILD_TESTS=ON >/dev/null
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
