#!/usr/bin/env bash
# Runs every fuzz target for a bounded time; fails on any crash, leak, timeout or report.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
cd "$(dirname "$0")/.."
status=0
for target in layout image build safe inspect; do
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  seeds=(fuzz/corpus/"$target")
  [ "$target" = build ] && seeds=(fuzz/corpus/layout fuzz/corpus/image)
  [ "$target" = inspect ] && seeds=(fuzz/corpus/package)
  [ -d "${seeds[0]}" ] || seeds=()
  log="$build/$target.log"
  echo "== ${target}_fuzzer: ${seconds}s"
  if "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
       -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "${seeds[@]}" >"$log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    grep -E '#[0-9]+.*(DONE|pulse)' "$log" | tail -n 1 || true
  else
    echo "FAILED: $target (log: $log)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
