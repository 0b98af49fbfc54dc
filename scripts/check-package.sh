#!/usr/bin/env bash
# Builds the Debian package from a build directory, installs it with dpkg into a scratch
# root, and runs both tools and both man pages from there.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
examples=$(cd "$(dirname "$0")/../examples" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)
contents=$(dpkg-deb -c "$deb")
for path in usr/bin/branding-package usr/bin/branding-package-inspect \
            usr/share/man/man1/branding-package.1.gz usr/share/man/man1/branding-package-inspect.1.gz \
            usr/share/bash-completion/completions/branding-package \
            usr/share/bash-completion/completions/branding-package-inspect \
            usr/share/doc/branding-package/README.md.gz usr/share/doc/branding-package/changelog.gz \
            usr/share/doc/branding-package/copyright \
            usr/lib/branding-package/modules/branding-package-http.so \
            usr/share/nvim/site/plugin/branding-package.lua \
            usr/share/emacs/site-lisp/branding-package.el; do
  grep -q " ./$path\$" <<<"$contents" || fail "$path is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libwolfssl libxml2 libpng16 libjpeg62-turbo; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

# Debian's own checker runs apart (make lintian, in CI): it costs more than the rest of this.

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
# The scratch root has no libraries registered; the machine's own are used to run.
dpkg --root="$root" --log=/dev/null --force-depends --force-not-root -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
dpkg --root="$root" -s branding-package | grep -q '^Status: install ok installed' ||
  fail "dpkg does not list the package as installed"

for tool in branding-package branding-package-inspect; do
  binary="$root/usr/bin/$tool"
  readelf -S "$binary" | grep -q '\.debug_info' && fail "$tool carries debug info"
  "$binary" --version >/dev/null || fail "$tool --version failed"
  # The man page renders without a warning and names no build path.
  page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$tool.1.gz" 2>"$work/warnings")
  [ -s "$work/warnings" ] && fail "$tool.1 renders with warnings: $(cat "$work/warnings")"
  for heading in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES "SEE ALSO"; do
    grep -q "^$heading" <<<"$page" || fail "$tool.1 has no $heading"
  done
  grep -q "$build" <<<"$page" && fail "$tool.1 names the build directory"
done

"$root/usr/bin/branding-package" -x "$examples/layout.xml" -i "$examples/icon.png" \
  -i "$examples/logo.jpg" -o "$work/brand.pkg" >"$work/build.out"
hash=$(sed -n 's/^Hash: //p' "$work/build.out")
"$root/usr/bin/branding-package-inspect" verify --sha256 "$hash" "$work/brand.pkg" >/dev/null ||
  fail "the installed inspect tool does not verify the installed packager's package"
# The installed companion finds its installed HTTP module and serves the page.
"$root/usr/bin/branding-package-inspect" preview --serve --layout "$examples/layout.xml" \
  >"$work/serve.out" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q '^Serving' "$work/serve.out" && break; sleep 0.1; done
kill -INT "$server"
wait "$server" || fail "the installed preview --serve failed: $(cat "$work/serve.out")"
grep -q '^Serving the preview of .* at http://127.0.0.1:' "$work/serve.out" ||
  fail "the installed preview --serve did not serve: $(cat "$work/serve.out")"
dpkg --root="$root" --log=/dev/null --force-not-root -r branding-package >/dev/null
[ -e "$root/usr/bin/branding-package" ] && fail "removing the package left the tool behind"
echo "check-package: $(basename "$deb") built, listed, checked, installed, run and removed"
