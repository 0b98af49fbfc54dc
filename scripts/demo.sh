#!/usr/bin/env bash
# Builds the sample package from examples/ and shows its path and hash.
set -euo pipefail
tool=${1:-build/branding-package}
cd "$(dirname "$0")/.."
mkdir -p examples/out
"$tool" --xml-layout examples/layout.xml \
        --image examples/icon.png --image examples/logo.jpg \
        --output examples/out/branding.pkg
