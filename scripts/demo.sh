#!/usr/bin/env bash
# Builds the sample package from examples/ and shows its path and hash, then writes its
# preview page and shows that path.
set -euo pipefail
tool=${1:-build/branding-package}
cd "$(dirname "$0")/.."
mkdir -p examples/out
"$tool" --xml-layout examples/layout.xml \
        --image examples/icon.png --image examples/logo.jpg \
        --output examples/out/branding.pkg
"$(dirname "$tool")/branding-package-inspect" preview examples/out/branding.pkg \
        -o examples/out/preview.html
