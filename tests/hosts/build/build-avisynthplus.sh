#!/usr/bin/env bash
# Builds the AviSynth+ core once into the host cache, for the integration test
# that runs the plugin inside a real, independently written host.
set -euo pipefail
source "$(dirname "$0")/host_build.sh"
name=avisynthplus-1ffeb08c
host_build_start "$name" "AviSynth+"
# Installed where it is used: AviSynth+ autoloads plugins from the libdir of
# the prefix it was configured with.
cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DENABLE_PLUGINS=OFF \
  -DCMAKE_INSTALL_PREFIX="$prefix" > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/build" -j2 > "$work/build.log" 2>&1 || { tail -50 "$work/build.log"; exit 1; }
rm -rf "$prefix"
cmake --install "$work/build" > /dev/null
host_build_done
