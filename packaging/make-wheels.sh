#!/usr/bin/env bash
# The release's vapoursynth-quillfen wheels, one for each build tree given
# (make-release.sh's amd64, arm64 and win64 builds), made from SOURCE_DIR
# with Debian's python3 -m build, offline, into OUTPUT_DIR. Each wheel's
# platform tag is read from its module (setup.py).
#
#   packaging/make-wheels.sh SOURCE_DIR OUTPUT_DIR BUILD_DIR...
set -euo pipefail
source_dir=$1
output=$2
shift 2
python=/usr/bin/python3
if ! "$python" -c 'import build, setuptools, wheel' 2>/dev/null; then
  echo "make-wheels.sh: install these Debian packages first: python3-build python3-setuptools python3-wheel" >&2
  exit 1
fi
rm -f "$output"/vapoursynth_quillfen-*.whl
for build_dir in "$@"; do
  echo "== wheel from $(basename "$build_dir")"
  (cd "$source_dir" && QUILLFEN_WHEEL_BUILD_DIR=$build_dir "$python" -m build --wheel --no-isolation \
    --outdir "$output" >"$build_dir.wheel.log" 2>&1) || { tail -n 30 "$build_dir.wheel.log"; exit 1; }
done
