#!/usr/bin/env bash
# quillfen-slurm on a real one-node Slurm cluster that this test starts and
# stops itself: settings quillfen refuses, refused before anything is
# submitted; the README's example as written; a run whose piece fails (no
# OUTPUT, a line naming the piece); a retry that would fail the same way,
# refused; the run started over with other settings; a retry that completes.
# Every output must be byte for byte that of a single quillfen run.
#   slurm_cluster_test.sh QUILLFEN
set -uo pipefail
quillfen=$(realpath -- "$1")
source_dir=$(realpath -- "$(dirname "$0")/..")
cluster_tool=$source_dir/contrib/slurm/one-node-cluster
split_tool=$source_dir/contrib/slurm/quillfen-slurm
sample=$source_dir/samples/quillfen-sample.y4m

for tool in sbatch squeue slurmctld slurmd munged mungekey; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: Slurm is not installed ($tool missing; Debian: slurm-wlm, munge)"
    exit 77
  fi
done
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: starting the test cluster's daemons needs root"
  exit 77
fi

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

tmp=$(mktemp -d /tmp/quillfen-slurm-XXXXXX)
chmod 0755 "$tmp"  # the munge user reaches its socket through it
cluster=$tmp/cluster
cleanup() {
  "$cluster_tool" stop "$cluster"
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP  # through the EXIT trap: the daemons are stopped then too
"$cluster_tool" start "$cluster" >/dev/null || exit 1
export SLURM_CONF=$cluster/slurm.conf
daemons=$(cat "$cluster"/slurmctld.pid "$cluster"/slurmd.pid "$cluster"/munged.pid)

# Settings quillfen refuses: its own line alone, and no job, no work folder,
# no file. A stand-in sbatch records any call.
mkdir "$tmp/no-sbatch" "$tmp/refused"
printf '#!/bin/sh\ntouch "%s"\nexit 1\n' "$tmp/sbatch-called" >"$tmp/no-sbatch/sbatch"
chmod +x "$tmp/no-sbatch/sbatch"
not_submitting() { PATH=$tmp/no-sbatch:$PATH "$split_tool" "$@"; }
while IFS='|' read -r what from into argument; do
  expected=$("$quillfen" --quiet "$from" "$into" "$argument" 2>&1 >/dev/null)
  not_submitting --quillfen "$quillfen" --pieces 2 "$from" "$into" "$argument" >/dev/null 2>"$tmp/refused.err"
  check "$what: refused" test $? -eq 1
  # The first frame is filtered into a file named after OUTPUT.
  check "$what: quillfen's line alone" test "$(sed 's/\.check-[^"]*"/"/' "$tmp/refused.err")" = "$expected"
  check "$what: nothing submitted or left" test ! -e "$tmp/sbatch-called" -a -z "$(ls -A "$tmp/refused")"
done <<EOF
a filter argument out of range|$sample|$tmp/refused/out.y4m|radius=0
an unknown filter argument|$sample|$tmp/refused/out.y4m|colour=1
an INPUT that is not Y4M|$source_dir/CMakeLists.txt|$tmp/refused/out.y4m|radius=2
an OUTPUT folder that does not exist|$sample|$tmp/refused/missing/out.y4m|radius=2
EOF

# The README's example, with its folders this test's: the cluster's folder is
# $cluster there.
example=$(awk '/<!-- The cluster test runs this example/ { on = 1; next }
               on && /^    / { print substr($0, 5); seen = 1; next }
               on && seen { exit }' "$source_dir/README.md")
example=${example//build\/quillfen/$quillfen}
check "the README has the example" test -n "$example"
(cd "$source_dir" && cluster=$cluster timeout 30 bash -e -c "$example") >"$tmp/example.out" 2>&1
check "the README example succeeds" test $? -eq 0
"$quillfen" --quiet "$sample" "$tmp/whole.y4m" radius=2
check "the example's output equals a single run" cmp "$cluster/sample-out.y4m" "$tmp/whole.y4m"

# One piece's path is taken by a folder: that task fails, the join is
# cancelled. INPUT is a copy, to be changed below.
work=$tmp/work
input=$tmp/in.y4m
cp "$sample" "$input"
run_failing() {
  mkdir -p "$work/piece-1.y4m.part"
  timeout 30 "$split_tool" --quillfen "$quillfen" --work-dir "$work" --pieces 5 --threads 2 --wait "$@" \
    "$input" "$tmp/out.y4m" radius=2 gaussian=true >"$tmp/failed.out" 2>"$tmp/failed.err"
}
run_failing
check "a failed piece fails the run" test $? -eq 1
check "the job ids are printed" grep -qE "in array job [0-9]+, join job [0-9]+" "$tmp/failed.out"
check "the failed piece is named with quillfen's line" grep -qF \
  "piece 1 (frames 2:3) failed: quillfen: cannot write OUTPUT \"$work/piece-1.y4m.part\": Is a directory" \
  "$tmp/failed.err"
check "the run says OUTPUT was not written" grep -qF "OUTPUT \"$tmp/out.y4m\" was not written" "$tmp/failed.err"
check "no OUTPUT and nothing beside it" test -z "$(find "$tmp" -maxdepth 1 -name 'out.y4m*')"

# INPUT changed since the run was planned: every piece run again would fail.
"$quillfen" --quiet --frames 0:3 "$sample" "$input"
not_submitting --retry "$work" >/dev/null 2>"$tmp/futile.err"
check "a retry that would fail again is refused" test $? -eq 1
check "the refusal says so" grep -qF "the run in $work cannot be retried as it is" "$tmp/futile.err"
check "the refusal submits nothing" test ! -e "$tmp/sbatch-called"

# Started over with other settings instead, in the same work folder.
cp "$sample" "$input"
rmdir "$work/piece-1.y4m.part"
timeout 30 "$split_tool" --quillfen "$quillfen" --work-dir "$work" --pieces 3 --wait --restart \
  "$input" "$tmp/restarted.y4m" radius=3 >"$tmp/restart.out" 2>&1
check "the restart completes the run" test $? -eq 0
"$quillfen" --quiet "$sample" "$tmp/whole.y4m" radius=3
check "the restarted run's output equals a single run" cmp "$tmp/restarted.y4m" "$tmp/whole.y4m"
check "no piece of either run is left" test -z "$(find "$work" -name 'piece-*.y4m*')"

# Failed once more, then retried once the cause is gone.
run_failing --restart
check "the run fails again" test $? -eq 1
rmdir "$work/piece-1.y4m.part"
timeout 30 "$split_tool" --retry "$work" --wait >"$tmp/retry.out" 2>&1
check "the retry completes the run" test $? -eq 0
check "only the failed piece ran again" grep -qE "pieces 1 in array job" "$tmp/retry.out"
"$quillfen" --quiet "$sample" "$tmp/whole.y4m" radius=2 gaussian=true
check "the retried run's output equals a single run" cmp "$tmp/out.y4m" "$tmp/whole.y4m"
check "no piece is left" test -z "$(find "$work" -name 'piece-*.y4m*')"

"$cluster_tool" stop "$cluster"
for pid in $daemons; do check "daemon $pid has stopped" bash -c "! kill -0 $pid 2>/dev/null"; done

if [ "$failures" -gt 0 ]; then
  for log in "$tmp"/*.out "$tmp"/*.err "$cluster"/log/*.log "$work"/logs/*; do
    [ -s "$log" ] && { echo "== $log"; tail -n 20 "$log"; }
  done
  exit 1
fi
