#!/usr/bin/env bash
# Builds the VapourSynth R65 host (core library, Python module, vspipe) from the
# source archive next to the repository, once, into the host cache outside the
# repository. The suite's VapourSynth tests use it when it is there.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
archive="${QUILLFEN_VAPOURSYNTH_ARCHIVE:-$repo/../shared/hosts/vapoursynth-R65.tar.gz}"
prefix="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/vapoursynth-R65"

if [ -f "$prefix/.complete" ]; then
  echo "VapourSynth R65: cached in $prefix"
  exit 0
fi
if [ ! -f "$archive" ]; then
  echo "VapourSynth R65: skipped: no source archive at $archive"
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
tar -xzf "$archive" -C "$work"
source_dir="$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
rm -rf "$prefix"
(
  cd "$source_dir"
  ./autogen.sh >"$work/log" 2>&1
  PYTHON=/usr/bin/python3 ./configure --prefix="$prefix" --disable-static >>"$work/log" 2>&1
  make -j2 >>"$work/log" 2>&1
  make install >>"$work/log" 2>&1
) || { tail -n 40 "$work/log"; echo "VapourSynth R65: build failed" >&2; exit 1; }
touch "$prefix/.complete"
echo "VapourSynth R65: built into $prefix"
