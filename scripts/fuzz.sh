#!/usr/bin/env bash
# Runs every fuzz target of fuzz/targets for a bounded time; fails on any crash, leak, timeout
# or report.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
cd "$(dirname "$0")/.."
status=0
while read -r target seedNames <&3; do
  [[ -z "$target" || "$target" == \#* ]] && continue
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  seeds=()
  for name in $seedNames; do
    [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
  done
  log="$build/$target.log"
  echo "== ${target}_fuzzer: ${seconds}s"
  if "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "${seeds[@]}" >"$log" 2>&1 </dev/null; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    grep -E '#[0-9]+.*(DONE|pulse)' "$log" | tail -n 1 || true
  else
    echo "FAILED: $target (log: $log)"
    tail -n 40 "$log"
    status=1
  fi
done 3< fuzz/targets
exit $status
