# Sourced by the scripts here that build a real host into the host cache,
# once: build-NAME.sh, one per host, each run by tests/run_all.sh.
# host_build_start NAME LABEL [FOLDER] finds the source archive NAME.tar.gz
# (host_sources.sh), and sets `prefix` (the host's folder in the cache,
# FOLDER when one source is built more than one way), `work` (a temporary
# folder removed on exit) and `source_dir` (the archive unpacked in it). It
# ends the script when the build is already there (exit 0) or the source cannot
# be had (exit 77, saying why and how to give it: the host's tests then
# report themselves skipped). A build is marked complete last
# (host_build_done), so an interrupted one is never taken for a finished one.
# A host built on another (a library it links) runs that one's script first.
source "$(dirname "${BASH_SOURCE[0]}")/host_sources.sh"

host_build_start() {
  local name=$1
  host_label=$2
  prefix="$host_cache/${3:-$name}"
  if [ -f "$prefix/.complete" ]; then
    echo "$host_label: already built in $prefix"
    exit 0
  fi
  if ! host_source "$name"; then
    echo "skipped: $host_label: $host_source_missing"
    exit 77
  fi
  # One folder deeper than the temporary folder: autotools look for their
  # auxiliary files up to two folders above the source tree, and must not
  # find (or leave) any in the shared temporary folder.
  work_root="$(mktemp -d)"
  trap 'rm -rf "$work_root"' EXIT
  work="$work_root/tree"
  mkdir "$work"
  echo "$host_label: building from $archive into $prefix"
  tar -xzf "$archive" -C "$work"
  source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d)
}

host_build_done() {
  touch "$prefix/.complete"
  echo "$host_label: built in $prefix"
}
