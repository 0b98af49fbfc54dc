#!/usr/bin/env bash
# make install DESTDIR=STAGE and make uninstall: everything goes inside STAGE, nothing is made
# or removed under the live PREFIX, and uninstall takes away only what the install wrote or
# created there. Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export BP_INSTALL_RECORDS=$work
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix=$work/live
stage=$work/stage
mkdir -p "$prefix/bin" "$stage"
echo "another installation" > "$prefix/bin/branding-package"
# Under a strict umask, the folders made are still open to every user: another user's
# preview --serve loads the module from one.
(umask 027 && "$2/scripts/install.sh" install "$build" "$prefix" "$stage" >/dev/null) ||
  fail "install failed"
closed=$(find "$stage$prefix" -type d -not -perm 0755)
[ -z "$closed" ] || fail "folders not 0755 under umask 027: $closed"
[ -x "$stage$prefix/bin/branding-package" ] || fail "the tool is not in the stage"
[ "$(find "$prefix" | wc -l)" = 3 ] || fail "the live prefix changed: $(find "$prefix")"
grep -qxF "$stage$prefix/bin/branding-package" "$work/installed-files.txt" ||
  fail "the record does not name the staged file"
mkdir "$stage$prefix/share/someone-elses"
"$2/scripts/install.sh" uninstall "$build" >/dev/null || fail "uninstall failed"
[ "$(cat "$prefix/bin/branding-package")" = "another installation" ] ||
  fail "uninstall touched the live prefix"
left=$(find "$stage" -mindepth 1 -not -type d)
[ -z "$left" ] || fail "uninstall left files: $left"
empty=$(find "$stage" -type d -empty)
[ "$empty" = "$stage$prefix/share/someone-elses" ] || fail "left or removed folders: $empty"
[ "$failures" -eq 0 ] && echo "install: staged, recorded and removed only its own"
exit $((failures > 0))
