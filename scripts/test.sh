#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: a plain build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs="$(nproc)"

run_suite() {
  local dir="$1"; shift
  # Tests on explicitly: a build folder configured by scripts/run.sh has them off.
  cmake -S . -B "$dir" -DTARNHOLLOW_WERROR=ON -DTARNHOLLOW_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600)
}

echo "== plain build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DTARNHOLLOW_SANITIZE=ON
if [ -x scripts/run-fuzz.sh ]; then
  echo "== fuzzing"
  scripts/run-fuzz.sh "${FUZZ_SECONDS:-20}"
fi
echo "== all tests passed"
