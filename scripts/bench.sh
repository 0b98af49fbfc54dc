#!/usr/bin/env bash
# Runs the benchmark table for a Release build of the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/bench.py "${1:-build-release/branding-package}"
