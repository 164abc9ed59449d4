#!/usr/bin/env bash
# Builds VapourSynth R65's core library for aarch64 Linux with Debian's
# cross compiler (no Python, no vspipe), against Debian's libzimg-dev:arm64,
# once, into the host cache, for the test that runs the aarch64 wheel's
# module in it under qemu-user (tests/aarch64_cross_test.sh).
set -euo pipefail
source "$(dirname "$0")/host_build.sh"
compiler=aarch64-linux-gnu-g++
if ! command -v "$compiler" > /dev/null || [ ! -f /usr/lib/aarch64-linux-gnu/pkgconfig/zimg.pc ]; then
  echo "skipped: VapourSynth R65 (aarch64): needs $compiler and zimg for arm64 (Debian: g++-aarch64-linux-gnu libzimg-dev:arm64)"
  exit 77
fi
name=vapoursynth-R65
host_build_start "$name" "VapourSynth R65 (aarch64)" "$name-aarch64"
rm -rf "$prefix"
(
  cd "$source_dir"
  ./autogen.sh
  PKG_CONFIG_LIBDIR=/usr/lib/aarch64-linux-gnu/pkgconfig ./configure --host=aarch64-linux-gnu --prefix="$prefix" \
    --disable-vsscript --disable-vspipe --disable-python-module --disable-static
  make -j2
  make install
) > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
host_build_done
