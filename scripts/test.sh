#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a Release build, and a build under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

for build in release sanitize; do
  options=(-DCMAKE_BUILD_TYPE=Release)
  # Light optimisation and line tables only: the sanitizer build compiles faster and
  # its reports still name files and lines.
  [[ $build == sanitize ]] && options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DTABSHIFT_SANITIZE=ON)
  echo "== $build build"
  cmake -S . -B "build/$build" -G Ninja "${options[@]}" >/dev/null
  cmake --build "build/$build" -j "$jobs"
  echo "== $build tests"
  ctest --test-dir "build/$build" --output-on-failure -j "$jobs"
done
