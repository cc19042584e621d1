#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it in build/sample.
# The upgrade converter is not assembled yet, so this shows the program's usage behaviour:
# called without its two keys it reports the usage error, keeps its run log and exits with 1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)" --target tabshift

sample=build/sample
mkdir -p "$sample"
cd "$sample"
status=0
../release/src/tabshift/tabshift || status=$?
echo "tabshift exit code: $status (1 expected: usage error); run log kept in $PWD"
[[ $status -eq 1 ]]
