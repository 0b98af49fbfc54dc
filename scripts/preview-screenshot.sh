#!/usr/bin/env bash
# Renders the sample's preview page in headless Chromium into docs/preview.png.
set -euo pipefail
cd "$(dirname "$0")/.."
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=1200,560 \
  --screenshot="$PWD/docs/preview.png" "file://$PWD/examples/out/preview.html" >/dev/null 2>&1
echo "docs/preview.png"
