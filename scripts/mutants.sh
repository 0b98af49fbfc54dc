#!/usr/bin/env bash
# Plants each fault of scripts/mutants.txt in turn, rebuilds, runs the suite (without the
# browser and .deb tests, which take long and check other things), and lists the faults no
# test caught. Every file is restored, also when interrupted.
# Usage: scripts/mutants.sh [BUILD [LIST]], LIST scripts/mutants.txt by default;
#        scripts/mutants.sh --check [LIST] only checks that each entry's text occurs exactly
#        once in its file (fast; make lint runs it), so that no entry goes stale unnoticed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --check ]; then
  stale=0
  while IFS='|' read -r file text _; do
    [[ -z "$file" || "$file" == \#* ]] && continue
    count=$(grep -cF -- "$text" "$file" 2>/dev/null || true)
    if [ "$count" != 1 ]; then
      echo "stale: $file: the text occurs ${count:-0} times: $text"
      stale=1
    fi
  done < "${2:-scripts/mutants.txt}"
  [ "$stale" -eq 0 ] && echo "mutants: every planted fault's text occurs once"
  exit "$stale"
fi
build=${1:-build-mutants}
list=$(realpath "${2:-scripts/mutants.txt}")
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DBP_BUILD_TESTS=ON -DBP_PACKAGE_TEST=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
# A suite that fails as it is would count every planted fault as killed.
if ! (cd "$build" && ctest -j "$(nproc)" --timeout 60 -E 'Browser|DebianPackage' >/dev/null 2>&1); then
  echo "the suite fails without any planted fault; mend it first"
  exit 1
fi
backup=$(mktemp)
planted=""
restore() { if [ -n "$planted" ]; then cp "$backup" "$planted"; planted=""; fi; }
trap 'restore; rm -f "$backup"' EXIT
trap 'exit 130' INT TERM
killed=0
survived=()
while IFS='|' read -r file text replacement; do
  [[ -z "$file" || "$file" == \#* ]] && continue
  count=$(grep -cF -- "$text" "$file" || true)
  if [ "$count" != 1 ]; then
    echo "stale: $file: the text occurs $count times: $text"
    survived+=("stale $file: $text")
    continue
  fi
  line=$(grep -nF -- "$text" "$file" | cut -d: -f1)
  cp "$file" "$backup"
  planted=$file
  python3 -c 'import sys
path, text, replacement = sys.argv[1:]
source = open(path).read()
open(path, "w").write(source.replace(text, replacement, 1))' "$file" "$text" "$replacement"
  if ! cmake --build "$build" -j "$(nproc)" >/dev/null 2>&1; then
    # A fault that does not compile tests nothing: the list needs mending.
    echo "BROKEN (does not build): $file:$line: $text -> $replacement"
    survived+=("broken $file:$line")
  elif (cd "$build" && ctest -j "$(nproc)" --stop-on-failure --timeout 60 -E 'Browser|DebianPackage' >/dev/null 2>&1); then
    echo "SURVIVED: $file:$line: $text -> $replacement"
    survived+=("$file:$line")
  else
    echo "killed: $file:$line"
    killed=$((killed + 1))
  fi
  restore
done < "$list"
cmake --build "$build" -j "$(nproc)" >/dev/null
echo "mutants: $killed killed, ${#survived[@]} survived"
for s in "${survived[@]}"; do echo "  survived: $s"; done
