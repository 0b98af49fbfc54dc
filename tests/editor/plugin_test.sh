#!/usr/bin/env bash
# The Neovim plugin as a designer gets it: installed under a prefix, found on Neovim's default
# runtime path (XDG_DATA_DIRS), with no configuration of the designer's own. A branding layout
# gets the server, our findings and the keys; a pom.xml nothing.
# Usage: plugin_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cd "$work"
sed -e 's|https://|htps://|' -e '/<quit-item>/d' "$source/examples/layout.xml" > layout.xml
cp "$source/examples/icon.png" "$source/examples/logo.jpg" .
printf '<?xml version="1.0"?>\n<project><modelVersion>4.0.0</modelVersion></project>\n' > pom.xml
# The first element as the parser finds it: past a DOCTYPE whose subset holds markup.
printf '<?xml version="1.0"?>\n<!DOCTYPE vantu-client-branding [\n  <!-- <b> is bold -->\n  <!ENTITY brand "<i>Demo</i>">\n]>\n' > doctype.xml
sed -n '/<vantu-client-branding/,$p' "$source/examples/layout.xml" >> doctype.xml
printf '<!DOCTYPE project [<!ENTITY a "<vantu-client-branding>">]>\n<project/>\n' > trick.xml
PATH="$work/prefix/bin:$PATH" XDG_DATA_DIRS="$work/prefix/share" BP_OUT="$work/got" \
  timeout 60 nvim --headless --clean -c "luafile $source/tests/editor/plugin_test.lua" </dev/null
cat got
failures=0
for expected in 'layout clients 1' 'diagnostic link-url' 'omnifunc v:lua.vim.lsp.omnifunc' \
                'gd <Cmd>lua vim.lsp.buf.definition()<CR>' 'K <Cmd>lua vim.lsp.buf.hover()<CR>' \
                'ca <Cmd>lua vim.lsp.buf.code_action()<CR>' 'pom clients 0' \
                'pom diagnostics 0' 'mode s' 'menu <quit-item>Afslut</quit-item>' \
                'doctype clients 1' 'trick clients 0'; do
  grep -qxF -- "$expected" got || { echo "missing: $expected"; failures=1; }
done
grep -q '^pom omnifunc v:lua' got && { echo "the pom.xml got our completion"; failures=1; }
exit $failures
