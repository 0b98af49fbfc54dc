#!/usr/bin/env bash
# A designer's editor: Debian's Neovim, headless, with its built-in LSP client started on
# branding-package-inspect lsp, opens a layout and types into it.
# Usage: neovim_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$source/examples/layout.xml" "$source/examples/icon.png" "$source/examples/logo.jpg" .
BP_OUT="$work/got" BP_LAYOUT=layout.xml BP_INSPECT="$build/branding-package-inspect" \
  timeout 60 nvim --headless --clean -c "luafile $source/tests/editor/neovim_test.lua" </dev/null
cat got
failures=0
# Each: what a line of the output must hold. Columns are bytes in Neovim: the finding after
# "Café 東京" stands where its tag starts: byte 37 of the line, UTF-16 unit 32.
for expected in 'published 1' 'published 2' \
                'diagnostic 12 37 link-url the hyperlink' \
                'completion icon.png' 'completion logo.jpg' \
                'hover **logo.jpg** ' 'JPEG, 96x32 pixels, 877 bytes' \
                "definition file://$work/icon.png"; do
  grep -qF -- "$expected" got || { echo "missing: $expected"; failures=1; }
done
exit $failures
