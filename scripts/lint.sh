#!/usr/bin/env bash
# The layer rule, the layout of the sources, then clang-tidy over every source file of src/,
# using the build's compile commands.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
scripts/check-layers.sh
scripts/mutants.sh --check
# The committed .clang-format over every source of src/, tests/ and fuzz/.
git ls-files 'src/*.cc' 'src/*.h' 'tests/*.cc' 'tests/*.h' 'fuzz/*.cc' 'fuzz/*.h' |
  xargs clang-format --dry-run --Werror
echo "clang-format: every file as .clang-format lays it out"
find src -name '*.cc' -print0 | xargs -0 -n 4 -P "$(nproc)" clang-tidy -p "$build" --quiet
echo "clang-tidy: no findings in src/"
