#!/usr/bin/env bash
# The vapoursynth-quillfen wheel made from BUILD_DIR (a configured build
# tree, native or cross) by `python3 -m build --wheel --no-isolation`, left
# in OUT_DIR, and checked as pip and VapourSynth meet it: its files (the
# module and manifest.vs in vapoursynth/plugins/quillfen, the licence in
# its dist-info); its platform tag against the module's own tables (an ELF
# module needs the C library alone, and the manylinux tag names the newest
# GLIBC symbol version it needs; a DLL is for x64 Windows and needs the
# system's DLLs alone). Given the native command and VapourSynth host (the
# release preset's), it is also installed with pip into a fresh venv,
# offline; the module manifest.vs names there, loaded by the real
# VapourSynth R65, gives the command's bytes on 8-bit 4:2:0, 10-bit 4:2:2
# and 16-bit 4:4:4 clips, and is clean under valgrind where it is
# installed; and pip uninstall leaves no file. Exits 77, saying why, without Debian's
# python3-build, python3-venv or ffmpeg.
#
#   tests/wheel_test.sh BUILD_DIR OUT_DIR [NATIVE_COMMAND VAPOURSYNTH_HOST]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath "$1")
out=$(realpath -m "$2")
python=/usr/bin/python3
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
"$python" -c 'import build, setuptools, wheel' 2>/dev/null ||
  { echo "skipped: no wheel build (Debian: python3-build python3-setuptools python3-wheel)"; exit 77; }

rm -rf "$out"
mkdir -p "$out"
(cd "$root" && QUILLFEN_WHEEL_BUILD_DIR=$build_dir "$python" -m build --wheel --no-isolation --outdir "$out" \
  >"$out/build.log" 2>&1) || { tail -n 20 "$out/build.log"; fail "python3 -m build"; }
wheels=("$out"/*.whl)
[ ${#wheels[@]} -eq 1 ] || fail "python3 -m build made ${#wheels[@]} wheels"
wheel=${wheels[0]}
version=$(sed -n 's/^project(Quillfen VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=$(basename "$wheel")
[[ $name =~ ^vapoursynth_quillfen-$version-py3-none-([a-z0-9_]+)\.whl$ ]] || fail "wheel named $name"
tag=${BASH_REMATCH[1]}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$wheel" "$work/wheel"
folder=$work/wheel/vapoursynth/plugins/quillfen
[ "$(head -n1 "$folder/manifest.vs")" = "[VapourSynth Manifest V1]" ] || fail "manifest.vs lacks its first line"
module_name=$(sed -n '2,$p' "$folder/manifest.vs" | grep -v '^$')
module=$(ls "$folder/$module_name".so "$folder/$module_name".dll 2>/dev/null || true)
[ -n "$module" ] || fail "manifest.vs names $module_name, which the wheel lacks"
files=$(cd "$work/wheel" && find . -type f | sed 's,^\./,,' | sort | paste -s -d ' ')
dist_info=vapoursynth_quillfen-$version.dist-info
expected="vapoursynth/plugins/quillfen/$(basename "$module") vapoursynth/plugins/quillfen/manifest.vs"
expected="$expected $dist_info/LICENSE $dist_info/METADATA $dist_info/RECORD $dist_info/WHEEL $dist_info/top_level.txt"
[ "$files" = "$(tr ' ' '\n' <<<"$expected" | sort | paste -s -d ' ')" ] || fail "the wheel holds: $files"
cmp -s "$work/wheel/$dist_info/LICENSE" "$root/LICENSE" || fail "the wheel's LICENSE is not the project's"

case $module in
*.dll)
  [ "$tag" = win_amd64 ] || fail "a Windows module in a wheel tagged $tag"
  x86_64-w64-mingw32-objdump -f "$module" | grep -q 'file format pei-x86-64' || fail "$module is no x64 DLL"
  needed=$(x86_64-w64-mingw32-objdump -p "$module" | awk '/DLL Name:/ {print $3}' | sort | paste -s -d ' ')
  [ "$needed" = "KERNEL32.dll msvcrt.dll" ] || fail "the wheel's DLL needs $needed beyond the system's"
  ;;
*)
  # Each library the module needs from its dynamic section, and the newest
  # version of any symbol it takes from the C library, from its symbols.
  needed=$(readelf -dW "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -s -d ' ')
  for library in $needed; do
    [[ $library =~ ^(libc\.so\.6|libm\.so\.6|ld-linux-[-a-z0-9_.]+\.so\.[0-9])$ ]] ||
      fail "the module needs $library beyond the C library: $needed"
  done
  newest=$(readelf --dyn-syms -W "$module" | grep -oE '@GLIBC_[0-9]+\.[0-9]+' | cut -c8- | sort -V | tail -n1)
  machine=$(readelf -hW "$module" | sed -n 's/^ *Machine: *//p')
  case $machine in
  *X86-64*) arch=x86_64 ;;
  AArch64) arch=aarch64 ;;
  *) fail "a module for $machine" ;;
  esac
  [ "$tag" = "manylinux_${newest/./_}_$arch" ] ||
    fail "wheel tagged $tag for a module on $machine whose newest C library symbol is GLIBC_$newest"
  ;;
esac
echo "wheel $name: its files and its tag hold ($(basename "$module") needs $needed${newest:+, GLIBC_$newest at most})"

[ $# -ge 4 ] || exit 0
command=$(realpath "$3")
host=$(realpath "$4")
"$python" -c 'import venv, ensurepip' 2>/dev/null || { echo "skipped: no venv with pip (Debian: python3-venv)"; exit 77; }
command -v ffmpeg >/dev/null || { echo "skipped: no ffmpeg (Debian: ffmpeg)"; exit 77; }
venv=$work/venv
"$python" -m venv "$venv"
listing() { (cd "$venv" && find . ! -type d ! -path './lib/python*/site-packages/pip*' | grep -v __pycache__ | sort); }
listing >"$work/before"
"$venv/bin/pip" install --no-index --quiet "$wheel" || fail "pip install --no-index $name"
installed=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')/vapoursynth/plugins/quillfen
installed_module=$installed/$(sed -n '2,$p' "$installed/manifest.vs" | grep -v '^$').so
[ -f "$installed_module" ] || fail "no module $installed_module as manifest.vs names it"

quiet_ffmpeg=(ffmpeg -nostdin -nostats -loglevel error -y)
for clip in "yuv420p 8-bit 4:2:0 radius=2 gaussian=true" "yuv422p10le 10-bit 4:2:2 sup=true iterations=2" \
            "yuv444p16le 16-bit 4:4:4 radius=3 threshold=40"; do
  read -r pixel_format depth layout settings <<<"$clip"
  read -ra settings <<<"$settings"
  "${quiet_ffmpeg[@]}" -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 3 -pix_fmt "$pixel_format" -strict -1 \
    -f yuv4mpegpipe "$work/in.y4m"
  "$command" --quiet "$work/in.y4m" "$work/command.y4m" "${settings[@]}"
  "$host" "$installed_module" "$work/in.y4m" "$work/host.y4m" "${settings[@]}" ||
    fail "VapourSynth R65 with the installed module on $depth $layout"
  cmp -s "$work/command.y4m" "$work/host.y4m" || fail "the installed module's bytes differ from the command's on $depth $layout"
  echo "the installed wheel's module in VapourSynth R65: the command's bytes on $depth $layout"
done

# The module carries its own C++ runtime, which must leave nothing behind
# when the host unloads it.
if command -v valgrind >/dev/null; then
  valgrind --error-exitcode=97 --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite -q \
    "$host" "$installed_module" "$work/in.y4m" "$work/host.y4m" "${settings[@]}" ||
    fail "the installed module under valgrind (status $?)"
  echo "the installed wheel's module under valgrind: no invalid access, nothing lost"
fi

"$venv/bin/pip" uninstall --yes --quiet vapoursynth-quillfen || fail "pip uninstall"
listing >"$work/after"
diff "$work/before" "$work/after" >"$work/left" || fail "pip uninstall left: $(grep '^>' "$work/left" | tr '\n' ' ')"
echo "pip uninstall removed every file the wheel installed"
