#!/usr/bin/env bash
# Builds Quillfen and runs the whole test suite, then the aarch64 cross
# build's tests and clips under qemu-user when the cross tools are installed,
# the Windows x64 cross build's command and AviSynth plugin under wine64 when
# MinGW-w64 and Wine are installed, the suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer,
# and each fuzz target for a short fixed time when clang's libFuzzer is
# installed. Run from anywhere; builds under build/, build-aarch64/,
# build-windows/, build-asan/, build-tsan/ and build-fuzz/ in the repository
# (the presets of CMakePresets.json, and the cross tests' own).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
fuzz_seconds=${QUILLFEN_FUZZ_SECONDS:-20}

# What did not run, gathered for the last line: a suite that passes with
# tests skipped must say so where it ends, with the reasons.
skipped=()
# The hosts .ci/ builds for the host tests, passed to the build as prefixes.
host_cache=${QUILLFEN_HOST_CACHE:-$HOME/.cache/quillfen-hosts}
host_prefixes="$host_cache/avisynthplus-1ffeb08c;$host_cache/vapoursynth-R65"
run_preset() {
  cmake --preset "$1" -DCMAKE_PREFIX_PATH="$host_prefixes"
  cmake --build --preset "$1" -j"$jobs"
  local out build_dir
  case $1 in release) build_dir=build ;; asan-ubsan) build_dir=build-asan ;; *) build_dir=build-$1 ;; esac
  out=$(mktemp)
  ctest --preset "$1" -j"$jobs" | tee "$out"
  local count
  count=$(grep -c '(Skipped)$' "$out" || true)
  if [ "$count" -gt 0 ]; then
    local reasons
    reasons=$(grep -h '^skipped: ' "$build_dir/Testing/Temporary/LastTest.log" 2>/dev/null |
              sed 's/^skipped: //; s/[.'"'"']*$//' | sort -u | paste -s -d ';' | sed 's/;/; /g')
    skipped+=("$1: $count (${reasons:-see its ctest output})")
  fi
  rm -f "$out"
}

echo "== Release build and test suite"
run_preset release

echo "== aarch64 cross build under qemu-user, its bytes compared with the Release build's"
aarch64_out=$(mktemp)
tests/aarch64_cross_test.sh build | tee "$aarch64_out"
if grep -q '^skipped: ' "$aarch64_out"; then skipped+=("aarch64: $(grep -m1 '^skipped: ' "$aarch64_out" | cut -c10-)"); fi
rm -f "$aarch64_out"

echo "== Windows x64 cross build under wine64, its bytes compared with the Release build's"
windows_out=$(mktemp)
windows_status=0
tests/windows_cross_test.sh build | tee "$windows_out" || windows_status=$?
if [ "$windows_status" -ne 0 ] && [ "$windows_status" -ne 77 ]; then exit "$windows_status"; fi
if grep -q '^skipped: ' "$windows_out"; then
  skipped+=("Windows: $(grep '^skipped: ' "$windows_out" | cut -c10- | paste -s -d ';' | sed 's/;/; /g')")
fi
rm -f "$windows_out"

echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
run_preset asan-ubsan

echo "== Threaded tests under ThreadSanitizer"
run_preset tsan

echo "== Fuzz targets, ${fuzz_seconds} s each"
if ! command -v clang++ >/dev/null || [ ! -f "$(clang++ --print-runtime-dir)/libclang_rt.fuzzer-x86_64.a" ]; then
  echo "skipped: clang++ with libFuzzer is not installed (Debian: clang, libclang-rt-14-dev)"
  skipped+=("fuzzing: clang++ with libFuzzer is not installed (Debian: clang, libclang-rt-14-dev)")
else
  cmake --preset fuzz
  cmake --build --preset fuzz -j"$jobs"
  for target in fuzz_y4m_reader fuzz_signature_binding fuzz_filter; do
    # New inputs go to the build's own corpus; the committed seeds stay as they are.
    mkdir -p "build-fuzz/corpus/$target" build-fuzz/findings
    log="build-fuzz/$target.log"
    if ! "build-fuzz/fuzz/$target" -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix=build-fuzz/findings/ "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
      cat "$log"
      echo "$target found a fault; its input is in build-fuzz/findings/"
      exit 1
    fi
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | grep -oE '[0-9]+$') inputs run"
  done
fi

echo "== Release: packaging/make-release.sh, each artefact checked, the Debian package installed and removed"
packaging_out=$(mktemp)
packaging_status=0
tests/packaging_test.sh build | tee "$packaging_out" || packaging_status=$?
if [ "$packaging_status" -ne 0 ] && [ "$packaging_status" -ne 77 ]; then exit "$packaging_status"; fi
if grep -q '^skipped: ' "$packaging_out"; then skipped+=("release: $(grep -m1 '^skipped: ' "$packaging_out" | cut -c10-)"); fi
rm -f "$packaging_out"

if [ ${#skipped[@]} -eq 0 ]; then
  echo "== Every test ran: none skipped"
else
  summary=$(printf '%s | ' "${skipped[@]}")
  echo "== Passed, with tests skipped: ${summary% | }"
fi
