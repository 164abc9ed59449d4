#!/usr/bin/env bash
# Makes the release with packaging/make-release.sh (into build-release/)
# while the hosts built for the tests are where a build could take them
# (on CMAKE_PREFIX_PATH and PKG_CONFIG_PATH), and checks each artefact as
# its user meets it: SHA256SUMS; no run path (RUNPATH or RPATH) in any of
# their programs and libraries; both Debian packages through lintian (no
# error) and their control fields and files;
# the amd64 package installed with dpkg -i, its quillfen giving the native
# build's bytes, and dpkg -r leaving none of its files; the arm64 package's
# quillfen under qemu-user; the Windows archive's files and its
# quillfen.exe under Wine. Every run compares with the native command.
# Exits 77, saying why, without the tools or the hosts' sources, as a user
# other than root, or where a quillfen package is already installed.
#
#   tests/packaging_test.sh [NATIVE_BUILD_DIR]    (default: build, the release preset's)
set -euo pipefail
cd "$(dirname "$0")/.."
repository=$PWD
native=$(realpath "${1:-build}")

missing=()
for tool in lintian dpkg-deb dpkg-shlibdeps readelf qemu-aarch64 wine aarch64-linux-gnu-g++ x86_64-w64-mingw32-g++-posix python3; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "skipped: the release test needs ${missing[*]} (tests/run_all.sh installs them as root)"
  exit 77
fi
source tests/hosts/build/host_sources.sh
for name in avisynthplus-1ffeb08c vapoursynth-R65; do
  if ! host_source "$name"; then
    echo "skipped: the release is built against the hosts' headers: $host_source_missing"
    exit 77
  fi
done
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the package with dpkg -i needs root"
  exit 77
fi
if dpkg-query -W -f='${Status}' quillfen 2>/dev/null | grep -q 'installed'; then
  echo "skipped: a quillfen package is already installed, and this test would replace and remove it"
  exit 77
fi
if [ ! -x "$native/quillfen" ]; then
  echo "no native command in $native/ to compare with: build the release preset first"
  exit 1
fi
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# The hosts the tests run in, where a packager's build would find them.
visible=()
for host in avisynthplus-1ffeb08c vapoursynth-R65; do
  [ -f "$host_cache/$host/.complete" ] && visible+=("$host_cache/$host")
done
if [ ${#visible[@]} -gt 0 ]; then
  CMAKE_PREFIX_PATH=$(IFS=':'; echo "${visible[*]}")${CMAKE_PREFIX_PATH:+:$CMAKE_PREFIX_PATH}
  PKG_CONFIG_PATH=$(printf '%s/lib/pkgconfig:' "${visible[@]}")${PKG_CONFIG_PATH:-}
  export CMAKE_PREFIX_PATH PKG_CONFIG_PATH
  echo "hosts on CMAKE_PREFIX_PATH and PKG_CONFIG_PATH while the release is made: ${visible[*]}"
else
  echo "note: no host built in $host_cache to put where the release's build could see it"
fi

release=$repository/build-release/out
started=$(date +%s)
packaging/make-release.sh "$release"
echo "release made in $(($(date +%s) - started)) s"
unset CMAKE_PREFIX_PATH PKG_CONFIG_PATH
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the artefacts"
version=$(sed -n 's/^project(Quillfen VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for platform in manylinux_2_[0-9]*_x86_64 manylinux_2_[0-9]*_aarch64 win_amd64; do
  compgen -G "$release/vapoursynth_quillfen-$version-py3-none-$platform.whl" >/dev/null || fail "no $platform wheel"
done

work=$(mktemp -d)
cleanup() {
  dpkg -r quillfen >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# No file of any artefact may carry a run path: it would name a folder of
# the machine that made the release.
for artefact in "$release"/quillfen_*.deb "$release"/quillfen-*.zip "$release"/vapoursynth_quillfen-*.whl; do
  unpacked=$work/unpacked/$(basename "$artefact")
  mkdir -p "$unpacked"
  case $artefact in
    *.deb) dpkg-deb -x "$artefact" "$unpacked" ;;
    *.zip | *.whl) python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$artefact" "$unpacked" ;;
  esac
  objects=0
  while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | tr -d '\0')" = $'\x7fELF' ] || continue
    objects=$((objects + 1))
    ! readelf -d "$file" | grep -E '\((RUNPATH|RPATH)\)' ||
      fail "$(basename "$artefact"): ${file#"$unpacked"} has a run path (above)"
  done < <(find "$unpacked" -type f -print0)
  echo "$(basename "$artefact"): no run path in its $objects ELF files"
done
# The runs each artefact's command must match: the sample clip (4:2:2,
# through the AviSynth 2.5 module) and a 4:4:4 cut of it (filtered
# directly), its first frames.
"$native/quillfen" --quiet --frames 0:2 samples/quillfen-sample.y4m - | python3 -c '
import sys
data = sys.stdin.buffer.read()
header, rest = data.split(b"\n", 1)
tags = header.split()
w = int(next(t[1:] for t in tags if t.startswith(b"W")))
h = int(next(t[1:] for t in tags if t.startswith(b"H")))
out = [b" ".join(b"C444" if t == b"C422" else t for t in tags if not t.startswith(b"XYSCSS")) + b"\n"]
frame = w * h * 2
while rest:
    planes, rest = rest[6:6 + frame], rest[6 + frame:]
    out.append(b"FRAME\n" + planes[:w * h])
    for plane in (planes[w * h:w * h + w * h // 2], planes[w * h + w * h // 2:]):
        out.append(bytes(b for b in plane for _ in (0, 1)))
sys.stdout.buffer.write(b"".join(out))' >"$work/444.y4m"
runs=("samples/quillfen-sample.y4m radius=2" "samples/quillfen-sample.y4m sup=true iterations=2"
      "$work/444.y4m radius=3 iterations=0 threshold=40")
# same_bytes WHAT COMMAND...: each run of COMMAND gives the native bytes.
same_bytes() {
  local what=$1 run input arguments
  shift
  for run in "${runs[@]}"; do
    read -r input arguments <<<"$run"
    read -ra arguments <<<"$arguments"
    "$native/quillfen" --quiet --frames 0:2 "$input" "$work/native.y4m" "${arguments[@]}"
    "$@" --quiet --frames 0:2 "$input" "$work/packed.y4m" "${arguments[@]}" || fail "$what did not run: $run"
    cmp -s "$work/native.y4m" "$work/packed.y4m" || fail "$what's bytes differ from the native command's: $run"
  done
  echo "$what: the native command's bytes on ${#runs[@]} runs"
}

for arch in amd64 arm64; do
  deb=$release/quillfen_${version}-1_${arch}.deb
  [ -f "$deb" ] || fail "no $(basename "$deb")"
  triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
  lintian --fail-on error "$deb" >"$work/lintian" 2>&1 ||
    fail "lintian on $(basename "$deb"): $(cat "$work/lintian")"
  echo "lintian on $(basename "$deb"): no error$(grep -v 'root privileges' "$work/lintian" | sed 's/^/; /' | tr -d '\n')"
  dpkg-deb -f "$deb" Architecture | grep -qx "$arch" || fail "$arch package of another architecture"
  depends=$(dpkg-deb -f "$deb" Depends)
  for library in libc6 libstdc++6 libpng16-16; do
    [[ $depends == *"$library "* ]] || fail "$arch package's Depends ($depends) lacks $library"
  done
  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's,^\./,/,' >"$work/files.$arch"
  for file in /usr/bin/quillfen /usr/share/doc/quillfen/copyright /usr/share/doc/quillfen/docs/hosts.md \
      /usr/share/doc/quillfen/changelog.Debian.gz "/usr/lib/$triplet/vapoursynth/libquillfen_vapoursynth.so" \
      "/usr/lib/$triplet/vapoursynth/manifest.vs"; do
    grep -qx "$file" "$work/files.$arch" || fail "$arch package lacks $file"
  done
  grep -q "^/usr/lib/$triplet/avisynth/.*\.so$" "$work/files.$arch" || fail "$arch package lacks an AviSynth+ module"
done

# amd64: installed and removed as a user does.
deb=$release/quillfen_${version}-1_amd64.deb
grep -v '/$' "$work/files.amd64" >"$work/packed-files"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$work/files.amd64" >"$work/there-before"
dpkg -i "$deb" >/dev/null || fail "dpkg -i $(basename "$deb")"
[ "$(command -v quillfen)" = /usr/bin/quillfen ] || fail "quillfen is not /usr/bin/quillfen on PATH"
same_bytes "the installed amd64 package" quillfen
dpkg -r quillfen >/dev/null || fail "dpkg -r quillfen"
while read -r path; do
  [ -e "$path" ] && ! grep -qxF "$path" "$work/there-before" && echo "$path"
done <"$work/files.amd64" >"$work/left"
[ ! -s "$work/left" ] || fail "dpkg -r left: $(tr '\n' ' ' <"$work/left")"
echo "dpkg -r removed all $(wc -l <"$work/packed-files") files and the folders it made"

# arm64: the unpacked package's command under qemu-user, its module found
# beside it as on an arm64 machine.
dpkg-deb -x "$release/quillfen_${version}-1_arm64.deb" "$work/arm64"
same_bytes "the arm64 package under qemu-user" qemu-aarch64 "$work/arm64/usr/bin/quillfen"

# win64: what the archive holds, and its command under Wine.
zip=$release/quillfen-${version}-win64.zip
[ -f "$zip" ] || fail "no $(basename "$zip")"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/win64"
top=$work/win64/quillfen-${version}-win64
for file in quillfen.exe plugins64+/Quillfen.dll vapoursynth/libquillfen_vapoursynth.dll vapoursynth/manifest.vs README.md \
    docs/windows.md docs/command.md LICENSE.txt; do
  [ -f "$top/$file" ] || fail "the archive lacks quillfen-${version}-win64/$file"
done
echo "the archive holds: $(cd "$top" && find . -type f | sed 's,^\./,,' | sort | tr '\n' ' ')"
# The Windows cross test's prefix where it made one (about 700 MB), else one of our own.
export WINEDEBUG=-all WINEPREFIX=$repository/build-windows/wine
[ -f "$WINEPREFIX/system.reg" ] || WINEPREFIX=$repository/build-release/wine
if [ ! -f "$WINEPREFIX/system.reg" ]; then wine wineboot -i >/dev/null 2>&1; fi
trap 'wineserver -k 2>/dev/null || true; cleanup' EXIT
same_bytes "the archive's quillfen.exe under Wine" timeout 120 wine "$top/quillfen.exe"
echo "passed: release made, checked, installed and removed"
