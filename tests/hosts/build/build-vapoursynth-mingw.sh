#!/usr/bin/env bash
# Builds VapourSynth R65's core library for Windows x64 with MinGW-w64 (no
# Python, no vspipe), with zimg 3.0.5 linked into it, once, into the host
# cache, for the test that runs libquillfen_vapoursynth.dll in it under
# Wine (tests/windows_vapoursynth_test.sh).
set -euo pipefail
source "$(dirname "$0")/host_build.sh"
compiler=x86_64-w64-mingw32-g++-posix
if ! command -v "$compiler" > /dev/null; then
  echo "skipped: VapourSynth R65 (MinGW): $compiler is not installed (Debian: g++-mingw-w64-x86-64-posix)"
  exit 77
fi
name=vapoursynth-R65
host_build_start "$name" "VapourSynth R65 (MinGW)" "$name-mingw"
if ! host_source zimg-3.0.5; then
  echo "skipped: VapourSynth R65 (MinGW): $host_source_missing"
  exit 77
fi
tar -xzf "$archive" -C "$work"
cross=(--host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix CXX="$compiler")
rm -rf "$prefix"
(
  # zimg as a static library without its SIMD kernels: the test host never
  # resizes, and the core only needs it linked.
  cd "$work/zimg-release-3.0.5"
  ./autogen.sh
  ./configure "${cross[@]}" --prefix="$work/zimg" --disable-shared --enable-static --disable-simd
  make -j2
  make install
  cd "$source_dir"
  ./autogen.sh
  # libtool would not put a static library into a DLL; pass_all lets it.
  PKG_CONFIG_LIBDIR="$work/zimg/lib/pkgconfig" ./configure "${cross[@]}" --prefix="$prefix" \
    --disable-vsscript --disable-vspipe --disable-python-module --enable-shared --disable-static \
    lt_cv_deplibs_check_method=pass_all
  make -j2
  make install
) > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
# libvapoursynth.dll loads the MinGW runtime from its own folder.
for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$("$compiler" -print-file-name="$runtime")" "$prefix/bin/"
done
# Laid out as VapourSynth's portable install: with portable.vs beside it,
# the core takes its bundled plugins from vapoursynth64/coreplugins there
# (else from where an installer's registry entry says), and logs a critical
# error when that folder holds no DLL. None of those plugins is built here;
# an empty DLL, which the core passes over for having no entry point,
# stands in the folder.
touch "$prefix/bin/portable.vs"
mkdir -p "$prefix/bin/vapoursynth64/coreplugins"
x86_64-w64-mingw32-gcc-posix -shared -x c /dev/null -o "$prefix/bin/vapoursynth64/coreplugins/no-core-plugins.dll"
host_build_done
