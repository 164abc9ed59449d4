#!/usr/bin/env bash
# Makes a Quillfen release from the committed source (HEAD of this
# checkout, exported with git archive, so nothing uncommitted or untracked
# gets in): the Debian packages for amd64 and arm64, the Windows x64
# archive, the VapourSynth wheels of the three builds, and SHA256SUMS, in
# OUTPUT_DIR (default out/release). Builds in build-release/, kept for the
# next run.
#
# It installs nothing. It needs Debian's cmake, g++, dpkg-dev, libpng-dev,
# g++-aarch64-linux-gnu, libpng-dev:arm64 and libstdc++6:arm64 (after
# dpkg --add-architecture arm64), g++-mingw-w64-x86-64-posix, python3-build,
# python3-setuptools and python3-wheel, and names those missing. The host modules are compiled against the headers in the
# AviSynth+ and VapourSynth source archives alone, found as the tests find
# them (tests/hosts/build/host_sources.sh: QUILLFEN_HOST_ARCHIVES, the host
# cache, or fetched); no host is built, and no installed one is looked at.
#
#   packaging/make-release.sh [OUTPUT_DIR]
set -euo pipefail
repository=$(cd "$(dirname "$0")/.." && pwd)
output=$(realpath -m "${1:-$repository/out/release}")
work=$repository/build-release
jobs=${QUILLFEN_RELEASE_JOBS:-2}

missing=()
need_program() { command -v "$1" >/dev/null || missing+=("$2"); }
need_file() { [ -e "$1" ] || missing+=("$2"); }
need_program git git
need_program cmake cmake
need_program g++ g++
need_program dpkg-shlibdeps dpkg-dev
need_program aarch64-linux-gnu-g++ g++-aarch64-linux-gnu
need_program x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
/usr/bin/python3 -c 'import build, setuptools, wheel' 2>/dev/null || missing+=(python3-build python3-setuptools python3-wheel)
need_file /usr/include/png.h libpng-dev
need_file /usr/lib/aarch64-linux-gnu/libpng.so libpng-dev:arm64
need_file /usr/lib/aarch64-linux-gnu/libstdc++.so.6 libstdc++6:arm64
if [ ${#missing[@]} -gt 0 ]; then
  install="apt-get install ${missing[*]}"
  [[ " ${missing[*]}" != *:arm64* ]] || install="dpkg --add-architecture arm64 && apt-get update && $install"
  echo "make-release.sh: install these Debian packages first: ${missing[*]} (as root: $install)" >&2
  exit 1
fi
source "$repository/tests/hosts/build/host_sources.sh"
host_source avisynthplus-1ffeb08c || { echo "make-release.sh: AviSynth+'s source: $host_source_missing" >&2; exit 1; }
avisynth_archive=$archive
host_source vapoursynth-R65 || { echo "make-release.sh: VapourSynth's source: $host_source_missing" >&2; exit 1; }
vapoursynth_archive=$archive

commit=$(git -C "$repository" rev-parse HEAD)
if [ -n "$(git -C "$repository" status --porcelain)" ]; then
  echo "note: the work tree has changes that are not committed; the release is made from $commit without them"
fi
# Dates written into the packages are the commit's, so that a release made
# again from the same commit says the same.
SOURCE_DATE_EPOCH=$(git -C "$repository" log -1 --format=%ct)
export SOURCE_DATE_EPOCH

# The source, exported afresh into export/; into source/, which the builds
# read, goes only what differs from the last run's, so they redo only that.
rm -rf "$work/export" "$work/headers"
mkdir -p "$work/export" "$work/source" "$work/headers/avisynth" "$work/headers/vapoursynth" "$output"
git -C "$repository" archive --format=tar HEAD | tar -x -C "$work/export"
same_file() {
  cmp -s "$1" "$2" && { { [ -x "$1" ] && [ -x "$2" ]; } || { [ ! -x "$1" ] && [ ! -x "$2" ]; }; }
}
(cd "$work/export" && find . -type f) | while read -r file; do
  if ! same_file "$work/export/$file" "$work/source/$file"; then
    mkdir -p "$(dirname "$work/source/$file")"
    cp "$work/export/$file" "$work/source/$file.new" && mv "$work/source/$file.new" "$work/source/$file"
  fi
done
(cd "$work/source" && find . -type f) | while read -r file; do
  [ -e "$work/export/$file" ] || rm "$work/source/$file"
done
tar -xzf "$avisynth_archive" -C "$work/headers/avisynth" --strip-components=3 --wildcards '*/avs_core/include/*'
tar -xzf "$vapoursynth_archive" -C "$work/headers/vapoursynth" --strip-components=2 --wildcards '*/include/*.h'

# build NAME [CMAKE ARGUMENTS...]: configures and builds build-release/NAME.
build() {
  local name=$1
  shift
  echo "== $name: building"
  cmake --no-warn-unused-cli -S "$work/source" -B "$work/$name" -DCMAKE_BUILD_TYPE=Release \
    -DQUILLFEN_AVISYNTH=ON -DQUILLFEN_VAPOURSYNTH=ON \
    -DQUILLFEN_AVISYNTH_INCLUDE_DIR="$work/headers/avisynth" \
    -DQUILLFEN_VAPOURSYNTH_INCLUDE_DIR="$work/headers/vapoursynth" "$@" >"$work/$name.configure.log"
  nice -n 10 cmake --build "$work/$name" -j"$jobs" >"$work/$name.build.log" 2>&1 ||
    { tail -n 30 "$work/$name.build.log"; exit 1; }
}

# The headers are named, so no host installed on this machine is looked
# for; avs2y4m, which loads AviSynth+'s library when it runs, gets no run
# path into a host found elsewhere (contrib/avs2y4m/CMakeLists.txt), so no
# file of the packages names a folder of this machine. The Linux builds have
# avs2y4m, the runner of AviSynth+ scripts; Windows has AviSynth+'s own.
linux=(-DCMAKE_INSTALL_PREFIX=/usr)
build amd64 "${linux[@]}"
build arm64 "${linux[@]}" --toolchain "$work/source/cmake/aarch64-linux-gnu.cmake"
build win64 -DQUILLFEN_AVS2Y4M=OFF --toolchain "$work/source/cmake/x86_64-w64-mingw32.cmake"

rm -f "$output"/quillfen_*.deb "$output"/quillfen-*.zip "$output/SHA256SUMS"
# pack NAME GENERATOR: the build's package into OUTPUT_DIR.
pack() {
  local name=$1 generator=$2
  (cd "$work/$name" && cpack -G "$generator" -B "$work/$name/packages" >"$work/$name.cpack.log" 2>&1) ||
    { cat "$work/$name.cpack.log"; exit 1; }
  find "$work/$name/packages" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) -exec mv {} "$output" \;
}
pack amd64 DEB
pack arm64 DEB
pack win64 ZIP
# The VapourSynth wheels, from the same builds.
"$repository/packaging/make-wheels.sh" "$work/source" "$output" "$work/amd64" "$work/arm64" "$work/win64"

cd "$output"
sha256sum quillfen_*.deb quillfen-*.zip vapoursynth_quillfen-*.whl >SHA256SUMS
echo "== Release of $commit in $output:"
ls -l quillfen_*.deb quillfen-*.zip vapoursynth_quillfen-*.whl SHA256SUMS
