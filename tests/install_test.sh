#!/usr/bin/env bash
# cmake --install into a fresh prefix, then the prefix moved elsewhere: the
# moved bin/quillfen finds the moved plugin in <libdir>/quillfen and gives the
# build tree's bytes; with the plugin gone it says so, names --plugin and
# leaves no output.
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
mv "$work/installed" "$work/moved"
command="$work/moved/bin/quillfen"
[ -x "$command" ] || fail "no bin/quillfen in the prefix"
[ -f "$work/moved/$libdir/quillfen/libquillfen.so" ] || fail "no $libdir/quillfen/libquillfen.so in the prefix"

"$build/quillfen" --quiet --frames 0:1 "$sample" "$work/built.y4m" sup=true
"$command" --quiet --frames 0:1 "$sample" "$work/moved.y4m" sup=true || fail "the moved command did not run"
cmp -s "$work/built.y4m" "$work/moved.y4m" || fail "the moved command's bytes differ from the build tree's"
[ -f "$work/moved/share/quillfen/quillfen-sample.y4m" ] || fail "no share/quillfen/quillfen-sample.y4m in the prefix"
[ -x "$work/moved/bin/quillfen-slurm" ] && [ -x "$work/moved/share/quillfen/one-node-cluster" ] || fail "no Slurm scripts in the prefix"
# Without arguments the moved command filters the installed sample, whatever
# the source tree holds.
(cd "$work" && "$command" 2>/dev/null) || fail "the moved command found no sample"
cmp -s "$work/quillfen-sample-out.y4m" <("$build/quillfen" --quiet "$work/moved/share/quillfen/quillfen-sample.y4m" -) ||
  fail "the sample run's bytes differ"
"$command" --version | grep -qF "$work/moved/$libdir/quillfen/libquillfen.so" || fail "--version names another plugin"

rm "$work/moved/$libdir/quillfen/libquillfen.so"
if "$command" --quiet "$sample" "$work/none.y4m" 2>"$work/errors"; then fail "ran without a plugin"; fi
grep -q '^quillfen: .*--plugin' "$work/errors" || fail "the missing plugin's message: $(cat "$work/errors")"
[ "$(wc -l <"$work/errors")" -eq 1 ] || fail "more than one line: $(cat "$work/errors")"
[ ! -e "$work/none.y4m" ] || fail "an output was left without a plugin"
echo "passed: installed, moved and run"
