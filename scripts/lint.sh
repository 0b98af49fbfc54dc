#!/usr/bin/env bash
# The layer rule, then clang-tidy over every source file of src/, using the build's compile
# commands.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
scripts/check-layers.sh
find src -name '*.cc' -print0 | xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$build" --quiet
echo "clang-tidy: no findings in src/"
