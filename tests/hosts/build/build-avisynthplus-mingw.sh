#!/usr/bin/env bash
# Builds the AviSynth+ core for Windows x64 with MinGW-w64, once, into the
# host cache, for the test that loads Quillfen.dll in it under Wine. Its
# avisynth_c.h is the C interface the Windows plugin is compiled against.
set -euo pipefail
source "$(dirname "$0")/host_build.sh"
root="$(cd "$(dirname "$0")/../../.." && pwd)"
compiler=x86_64-w64-mingw32-g++-posix
if ! command -v "$compiler" > /dev/null; then
  echo "skipped: AviSynth+ (MinGW): $compiler is not installed (Debian: g++-mingw-w64-x86-64-posix)"
  exit 77
fi
name=avisynthplus-1ffeb08c
host_build_start "$name" "AviSynth+ (MinGW)" "$name-mingw"
cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DENABLE_PLUGINS=OFF \
  --toolchain "$root/cmake/x86_64-w64-mingw32.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j2 > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
rm -rf "$prefix"
cmake --install "$work/build" > /dev/null
# AviSynth.dll loads the MinGW runtime from its own folder.
for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$("$compiler" -print-file-name="$runtime")" "$prefix/bin/"
done
host_build_done
