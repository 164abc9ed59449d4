#!/usr/bin/env bash
# cmake --install into a fresh prefix, then the prefix moved elsewhere: the
# moved bin/quillfen gives the build tree's bytes, also with the plugin module
# gone; the manual page and the sample are in the prefix; no installed
# program or library has a run path into the build tree.
#   install_test.sh CMAKE BUILD_DIR LIBDIR SAMPLE
set -euo pipefail
cmake=$1 build=$2 libdir=$3 sample=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

"$cmake" --install "$build" --prefix "$work/installed" >/dev/null
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | tr -d '\0')" = $'\x7fELF' ] || continue
  ! readelf -d "$file" | grep -E '\((RUNPATH|RPATH)\)' | grep -F "$(realpath "$build")" ||
    fail "${file#"$work/installed/"} has a run path into the build tree (above)"
done < <(find "$work/installed" -type f -print0)
mv "$work/installed" "$work/moved"
command="$work/moved/bin/quillfen"
[ -x "$command" ] || fail "no bin/quillfen in the prefix"
[ -f "$work/moved/$libdir/quillfen/libquillfen.so" ] || fail "no $libdir/quillfen/libquillfen.so in the prefix"

"$build/quillfen" --quiet --frames 0:1 "$sample" "$work/built.y4m" sup=true
"$command" --quiet --frames 0:1 "$sample" "$work/moved.y4m" sup=true || fail "the moved command did not run"
cmp -s "$work/built.y4m" "$work/moved.y4m" || fail "the moved command's bytes differ from the build tree's"
[ -f "$work/moved/share/quillfen/quillfen-sample.y4m" ] || fail "no share/quillfen/quillfen-sample.y4m in the prefix"
[ -x "$work/moved/bin/quillfen-slurm" ] && [ -x "$work/moved/share/quillfen/one-node-cluster" ] || fail "no Slurm scripts in the prefix"
[ -f "$work/moved/share/man/man1/quillfen.1" ] || fail "no share/man/man1/quillfen.1 in the prefix"
# Without arguments the command prints its synopsis on stderr, exits 2 and
# writes nothing.
status=0
(cd "$work" && "$command" 2>"$work/usage") || status=$?
[ "$status" -eq 2 ] || fail "no arguments: exit status $status, not 2"
grep -q '^Usage: quillfen' "$work/usage" || fail "no arguments: no usage on stderr"
[ ! -e "$work/quillfen-sample-out.y4m" ] || fail "no arguments: a file was written"
"$command" --quiet "$work/moved/share/quillfen/quillfen-sample.y4m" "$work/sample-out.y4m" ||
  fail "the installed sample did not filter"

# The command needs no plugin module: without it, the same bytes.
rm "$work/moved/$libdir/quillfen/libquillfen.so"
"$command" --quiet --frames 0:1 "$sample" "$work/alone.y4m" sup=true || fail "did not run without the plugin"
cmp -s "$work/built.y4m" "$work/alone.y4m" || fail "without the plugin the bytes differ"
echo "passed: installed, moved and run"
