#!/usr/bin/env bash
# The Emacs set-up as a designer gets it: Debian's Emacs and elpa-eglot, the installed
# site-lisp file and nothing else. A branding layout gets the server and our findings; a
# pom.xml in another project nothing.
# Usage: emacs_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
mkdir "$work/project" "$work/project/other"
cd "$work/project"
sed -e 's|https://|htps://|' -e '/<quit-item>/d' "$source/examples/layout.xml" > layout.xml
cp "$source/examples/icon.png" "$source/examples/logo.jpg" .
printf '<?xml version="1.0"?>\n<project><modelVersion>4.0.0</modelVersion></project>\n' > other/pom.xml
# The first element as the parser finds it: past a DOCTYPE whose subset holds markup.
mkdir third fourth
printf '<?xml version="1.0"?>\n<!DOCTYPE vantu-client-branding [\n  <!-- <b> is bold -->\n  <!ENTITY brand "<i>Demo</i>">\n]>\n' > third/doctype.xml
sed -n '/<vantu-client-branding/,$p' "$source/examples/layout.xml" >> third/doctype.xml
printf '<!DOCTYPE project [<!ENTITY a "<vantu-client-branding>">]>\n<project/>\n' > fourth/trick.xml
PATH="$work/prefix/bin:$PATH" HOME="$work" timeout 60 emacs --batch \
  -L "$work/prefix/share/emacs/site-lisp" -l "$source/tests/editor/emacs_test.el" \
  >"$work/got" 2>"$work/log" || { cat "$work/log"; exit 1; }
cat "$work/got"
failures=0
for expected in 'layout managed yes' 'pom managed no' 'selected (quit text)' \
                'doctype layout yes' 'trick layout no'; do
  grep -qxF -- "$expected" "$work/got" || { echo "missing: $expected"; failures=1; }
done
grep -q '^diagnostic .*\[link-url\]' "$work/got" || { echo "missing: the link-url finding"; failures=1; }
exit $failures
