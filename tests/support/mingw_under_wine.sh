# Sourced by the tests that run the MinGW build's modules in a host built
# for Windows, under Wine, with the test's own arguments:
# WINDOWS_BUILD_DIR [NATIVE_BUILD_DIR] (default: build). Sets root, windows,
# native, compiler and wine; defines skip (the reason, exit 77) and fail;
# skips without MinGW-w64 or Wine.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
windows=$(realpath "$1")
native=$(realpath "${2:-$root/build}")
compiler=x86_64-w64-mingw32-g++-posix
wine=$(command -v wine || echo /usr/lib/wine/wine64)

skip() {
  echo "skipped: $*"
  exit 77
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
command -v "$compiler" >/dev/null || skip "no MinGW-w64 compiler (Debian: g++-mingw-w64-x86-64-posix)"
[ -x "$wine" ] || skip "no wine (Debian: wine)"
