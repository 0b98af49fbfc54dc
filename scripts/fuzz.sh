#!/usr/bin/env bash
# Runs every fuzz target of fuzz/targets for a bounded time; fails on any crash, leak, timeout
# or report. The limits are what no sound input comes near (one input: 3 s, 1 GB resident,
# 256 MB in one allocation), so an input that costs more is a finding: a decoding or
# expansion bomb fails the run as a crash would.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
timeout=${FUZZ_TIMEOUT:-3}
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
  if "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=1024 \
       -malloc_limit_mb=256 \
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
