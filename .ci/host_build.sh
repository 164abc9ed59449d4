# Sourced by the scripts that build a real host into the host cache, once.
# host_build_start NAME LABEL [FOLDER] sets `archive` (the source archive
# NAME next to the repository), `prefix` (the host's folder in the cache,
# FOLDER when one source is built more than one way) and `work` (a
# temporary folder removed on exit), or ends the script successfully when
# the build is already there or its source archive is absent (the host's
# tests then report themselves skipped). A build is marked complete last
# (host_build_done), so an interrupted one is never taken for a finished one.
host_build_start() {
  local name=$1
  host_label=$2
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  archive="${QUILLFEN_HOST_ARCHIVES:-$root/../shared/hosts}/$name.tar.gz"
  prefix="${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}/${3:-$name}"
  if [ -f "$prefix/.complete" ]; then
    echo "$host_label: already built in $prefix"
    exit 0
  fi
  if [ ! -f "$archive" ]; then
    echo "$host_label: source archive $archive is absent; its integration tests will be skipped"
    exit 0
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
}

host_build_done() {
  touch "$prefix/.complete"
  echo "$host_label: built in $prefix"
}
