# Sourced by whatever needs a real host's source: the host builds here and
# packaging/make-release.sh, which compiles the modules against the hosts'
# headers. Each source is one archive, made by `git archive` of a pinned
# commit of the host's public repository:
#
#   NAME                    its top folder          repository and commit
#   avisynthplus-1ffeb08c   avisynthplus-1ffeb08c/  AviSynth/AviSynthPlus 1ffeb08c726b2af5448225ad27686248e68f2645
#   vapoursynth-R65         vapoursynth-R65/        vapoursynth/vapoursynth 3157049549a0940359b37004aeeeebd8f1db665e (tag R65)
#   zimg-3.0.5              zimg-release-3.0.5/     sekrit-twc/zimg e5b0de6bebbcbc66732ed5afaafef6b2c7dfef87 (tag release-3.0.5)
#
# host_source NAME sets `archive` to NAME.tar.gz, found in this order:
#  1. the folder QUILLFEN_HOST_ARCHIVES names, where the user keeps them;
#  2. the sources folder of the host cache, where an earlier fetch left it;
#  3. fetched from the public repository at the pinned commit, into that
#     folder: first a reachability check bounded by QUILLFEN_HOST_FETCH_SECONDS
#     (default 15 s), so that a machine without the network says so at once,
#     then the download (at most 10 minutes). QUILLFEN_HOST_FETCH=0 never
#     fetches.
# Otherwise it returns 1 with `host_source_missing` saying why and how to
# give the archive.

host_cache=${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}

# host_origin NAME: sets `origin_repository`, `origin_commit` and
# `origin_folder` (the archive's top folder), or returns 1.
host_origin() {
  case $1 in
    avisynthplus-1ffeb08c)
      origin_repository=https://github.com/AviSynth/AviSynthPlus.git
      origin_commit=1ffeb08c726b2af5448225ad27686248e68f2645
      origin_folder=avisynthplus-1ffeb08c ;;
    vapoursynth-R65)
      origin_repository=https://github.com/vapoursynth/vapoursynth.git
      origin_commit=3157049549a0940359b37004aeeeebd8f1db665e
      origin_folder=vapoursynth-R65 ;;
    zimg-3.0.5)
      origin_repository=https://github.com/sekrit-twc/zimg.git
      origin_commit=e5b0de6bebbcbc66732ed5afaafef6b2c7dfef87
      origin_folder=zimg-release-3.0.5 ;;
    *) return 1 ;;
  esac
}

host_source() {
  local name=$1 fetched=$host_cache/sources/$1.tar.gz
  archive=""
  host_source_missing=""
  if [ -n "${QUILLFEN_HOST_ARCHIVES:-}" ] && [ -f "$QUILLFEN_HOST_ARCHIVES/$name.tar.gz" ]; then
    archive=$(realpath "$QUILLFEN_HOST_ARCHIVES/$name.tar.gz")
    return 0
  fi
  if [ -f "$fetched" ]; then
    archive=$fetched
    return 0
  fi
  host_origin "$name" || { host_source_missing="no pinned origin for $name"; return 1; }
  local given="no $name.tar.gz in ${QUILLFEN_HOST_ARCHIVES:-the folder QUILLFEN_HOST_ARCHIVES names (unset)}"
  local how="give it with QUILLFEN_HOST_ARCHIVES=DIR (docs/testing.md#host-sources says how to make it)"
  if [ "${QUILLFEN_HOST_FETCH:-1}" = 0 ]; then
    host_source_missing="$given, and none is fetched (QUILLFEN_HOST_FETCH=0; tests/run_all.sh tries once, at its start): $how"
    return 1
  fi
  if ! command -v git >/dev/null; then
    host_source_missing="$given, and git is not installed to fetch it (Debian: git): $how"
    return 1
  fi
  local reason status=0
  reason=$(GIT_TERMINAL_PROMPT=0 timeout "${QUILLFEN_HOST_FETCH_SECONDS:-15}" \
           git ls-remote "$origin_repository" HEAD 2>&1 >/dev/null) || status=$?
  if [ "$status" -ne 0 ]; then
    [ "$status" -eq 124 ] && reason="no answer in ${QUILLFEN_HOST_FETCH_SECONDS:-15} s"
    host_source_missing="$given, and $origin_repository cannot be reached ($(tail -n 1 <<<"$reason")): $how"
    return 1
  fi
  echo "fetching $name from $origin_repository at $origin_commit"
  local clone
  clone=$(mktemp -d)
  mkdir -p "$host_cache/sources"
  if GIT_TERMINAL_PROMPT=0 timeout 600 bash -c '
        git init -q "$1" && cd "$1" &&
        git fetch -q --depth 1 "$2" "$3" &&
        git archive --format=tar.gz --prefix="$4/" "$3" -o "$5.partial"' _ \
      "$clone" "$origin_repository" "$origin_commit" "$origin_folder" "$fetched"; then
    mv "$fetched.partial" "$fetched"
    rm -rf "$clone"
    archive=$fetched
    return 0
  fi
  rm -rf "$clone" "$fetched.partial"
  host_source_missing="$given, and fetching it from $origin_repository failed: $how"
  return 1
}
