#!/usr/bin/env bash
# Builds the tests with the address and undefined-behaviour sanitizers and
# runs them. Usage: tools/sanitize.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-asan}"

"$root/tools/setup-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDAC_SANITIZE=ON \
  -DDAC_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
