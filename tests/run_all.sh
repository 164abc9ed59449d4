#!/usr/bin/env bash
# The test command: everything from a fresh clone on Debian 12.
#
# Set-up: installs the Debian packages the stages need that are missing (as
# root; otherwise it names them and the one command that installs them),
# then finds the real hosts' sources (tests/hosts/build/host_sources.sh:
# QUILLFEN_HOST_ARCHIVES, the host cache, or the hosts' public repositories).
# Stages, each run whatever the others gave:
#   host builds   tests/hosts/build/build-*.sh, each host once into the cache
#   release       the Release build and the whole suite (build/)
#   aarch64       the cross build's tests and clips under qemu-user
#   windows       the MinGW build's command and AviSynth+ plugin under Wine
#   asan-ubsan    the suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan          the threaded tests under ThreadSanitizer
#   fuzz          each libFuzzer target for QUILLFEN_FUZZ_SECONDS (20) s
#   packages      packaging/make-release.sh, each artefact checked
# A stage passes, fails, or is skipped (it said why and how to run it).
# The last line counts them; the exit status is 1 when any failed.
#
#   tests/run_all.sh [STAGE...]    (only those stages, e.g. release tsan;
#                                   "host" names every host build)
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
fuzz_seconds=${QUILLFEN_FUZZ_SECONDS:-20}
stage_names=(host release aarch64 windows asan-ubsan tsan fuzz packages)
for name in "$@"; do
  if [[ " ${stage_names[*]} " != *" $name "* ]]; then
    echo "tests/run_all.sh: no stage \"$name\"; the stages are: ${stage_names[*]}" >&2
    exit 2
  fi
done

# --- Debian packages -------------------------------------------------------
needed=(cmake g++ make git libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libmpfr-dev python3)
needed+=(clang libclang-rt-14-dev)  # the fuzz targets
needed+=(valgrind)  # the host tests check the modules' memory use under it
needed+=(slurm-wlm munge)  # the one-node cluster test
needed+=(ffmpeg libffms2-5)  # clips for the host tests; the VapourSynth example reads video through FFMS2
needed+=(libzimg-dev cython3 autoconf automake libtool pkg-config nasm python3-dev)  # VapourSynth's build
needed+=(g++-aarch64-linux-gnu qemu-user libstdc++6:arm64 libgtest-dev:arm64 libpng-dev:arm64)  # aarch64
needed+=(libzimg-dev:arm64)  # VapourSynth for aarch64, which runs the aarch64 wheel's module
needed+=(g++-mingw-w64-x86-64-posix wine)  # Windows x64
needed+=(dpkg-dev lintian)  # the release's packages and their checks
needed+=(python3-build python3-setuptools python3-wheel python3-venv)  # the VapourSynth wheel, pip into a venv
missing=()
for package in "${needed[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  install_command="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  # The arm64 libraries come through Debian's multiarch.
  if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    install_command="dpkg --add-architecture arm64 && $install_command"
  fi
  if [ "$(id -u)" -eq 0 ]; then
    echo "== Installing Debian packages: ${missing[*]}"
    if ! env DEBIAN_FRONTEND=noninteractive sh -c "$install_command" </dev/null; then
      echo "warning: the packages could not all be installed; the stages that need them say so"
    fi
  else
    echo "== Debian packages missing: ${missing[*]}"
    echo "   as root: $install_command"
    echo "   (the stages that need them say so and are skipped)"
  fi
fi

# --- Stages ----------------------------------------------------------------
passed=0 failed=0 skipped=0
report=()
join_lines() { awk 'NR > 1 { printf "; " } { printf "%s", $0 }'; }
selected=("$@")
# stage NAME COMMAND...: runs COMMAND, its output shown and kept. Exit 77
# is a skip, its lines "skipped: ..." the reason; on success those lines
# (a part skipped) and lines "note: ..." go to the summary.
stage() {
  local name=$1 out status started seconds reasons notes
  shift
  if [ ${#selected[@]} -gt 0 ] && [[ " ${selected[*]} " != *" ${name%% *} "* ]]; then
    return 0
  fi
  echo "== $name"
  out=$(mktemp)
  started=$(date +%s)
  "$@" 2>&1 | tee "$out"
  status=${PIPESTATUS[0]}
  seconds=$(($(date +%s) - started))
  reasons=$(sed -n 's/^skipped: //p' "$out" | join_lines)
  notes=$(sed -n 's/^note: //p' "$out" | join_lines)
  rm -f "$out"
  if [ "$status" -eq 77 ]; then
    skipped=$((skipped + 1))
    report+=("$name: skipped, ${reasons:-no reason given}")
  elif [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    [ -z "$reasons" ] || notes="${notes:+$notes; }skipped: $reasons"
    report+=("$name: passed in $seconds s${notes:+ ($notes)}")
  else
    failed=$((failed + 1))
    report+=("$name: FAILED (exit status $status) after $seconds s")
  fi
}

# The hosts' sources, found or fetched once for the whole run.
source tests/hosts/build/host_sources.sh
for name in avisynthplus-1ffeb08c vapoursynth-R65 zimg-3.0.5; do
  if host_source "$name"; then
    echo "== Host source $name: $archive"
  else
    echo "== Host source $name: none: $host_source_missing"
  fi
done
export QUILLFEN_HOST_FETCH=0

for script in tests/hosts/build/build-*.sh; do
  name=${script##*/build-}
  stage "host ${name%.sh}" "$script"
done

# The Linux hosts' prefixes, where the build finds them.
host_prefixes="$host_cache/avisynthplus-1ffeb08c;$host_cache/vapoursynth-R65"
# run_preset NAME: configures, builds and tests one preset of CMakePresets.json.
run_preset() {
  local build_dir out count reasons
  case $1 in release) build_dir=build ;; asan-ubsan) build_dir=build-asan ;; *) build_dir=build-$1 ;; esac
  cmake --preset "$1" -DCMAKE_PREFIX_PATH="$host_prefixes" || return 1
  cmake --build --preset "$1" -j"$jobs" || return 1
  out=$(mktemp)
  ctest --preset "$1" -j"$jobs" | tee "$out"
  local status=${PIPESTATUS[0]}
  count=$(grep -c '(Skipped)$' "$out")
  rm -f "$out"
  if [ "$count" -gt 0 ]; then
    reasons=$(grep -h '^skipped: ' "$build_dir/Testing/Temporary/LastTest.log" 2>/dev/null |
              sed 's/^skipped: *//; s/[.'"'"']*$//' | sort -u | join_lines)
    echo "note: $count tests skipped: ${reasons:-see the ctest output}"
  fi
  return "$status"
}

run_fuzz() {
  if ! command -v clang++ >/dev/null || [ ! -f "$(clang++ --print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then
    echo "skipped: clang++ with libFuzzer is not installed (Debian: clang, libclang-rt-14-dev)"
    return 77
  fi
  cmake --preset fuzz || return 1
  cmake --build --preset fuzz -j"$jobs" || return 1
  local target log
  for target in fuzz_y4m_reader fuzz_signature_binding fuzz_filter; do
    # New inputs go to the build's own corpus; the committed seeds stay as they are.
    mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
    log="build-fuzz/$target.log"
    if ! "build-fuzz/fuzz/$target" -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/findings/ "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
      cat "$log"
      echo "$target found a fault; its input is in build-fuzz/findings/"
      return 1
    fi
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | grep -oE '[0-9]+$') inputs run"
  done
}

stage release run_preset release
stage aarch64 tests/aarch64_cross_test.sh build
stage windows tests/windows_cross_test.sh build
stage asan-ubsan run_preset asan-ubsan
stage tsan run_preset tsan
stage "fuzz (${fuzz_seconds} s a target)" run_fuzz
stage packages tests/packaging_test.sh build

echo "== Summary"
printf '%s\n' "${report[@]}"
echo "stages: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
