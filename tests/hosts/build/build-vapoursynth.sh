#!/usr/bin/env bash
# Builds VapourSynth R65 (core library, Python module, vspipe) once into the
# host cache, for the tests that run the VapourSynth module inside it.
set -euo pipefail
source "$(dirname "$0")/host_build.sh"
name=vapoursynth-R65
host_build_start "$name" "VapourSynth R65"
rm -rf "$prefix"
(
  cd "$source_dir"
  ./autogen.sh
  # Debian's interpreter, whatever python3 comes first on PATH: the Python
  # module must match Debian's libpython and Cython.
  PYTHON=/usr/bin/python3 ./configure --prefix="$prefix" --disable-static
  make -j2
  make install
) > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
host_build_done
