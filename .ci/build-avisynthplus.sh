#!/usr/bin/env bash
# Builds the AviSynth+ core once into the host cache, for the integration test
# that runs the plugin inside a real, independently written host. Skips when
# the build is already there; says so and succeeds when the source archive is
# absent (the integration test then reports itself skipped).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
name=avisynthplus-1ffeb08c
archive="${QUILLFEN_HOST_ARCHIVES:-$root/../shared/hosts}/$name.tar.gz"
prefix="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/$name"

if [ -f "$prefix/.complete" ]; then
  echo "AviSynth+: already built in $prefix"
  exit 0
fi
if [ ! -f "$archive" ]; then
  echo "AviSynth+: source archive $archive is absent; the AviSynth+ integration test will be skipped"
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "AviSynth+: building the core from $archive into $prefix"
tar -xzf "$archive" -C "$work"
# Installed where it is used: AviSynth+ autoloads plugins from the libdir of
# the prefix it was configured with.
cmake -S "$work/$name" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DENABLE_PLUGINS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j2 > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
rm -rf "$prefix"
cmake --install "$work/build" > /dev/null
# Marked complete last, so an interrupted build is never taken for a finished one.
touch "$prefix/.complete"
echo "AviSynth+: built in $prefix"
