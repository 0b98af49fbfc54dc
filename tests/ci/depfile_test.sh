#!/usr/bin/env bash
# build --depfile in the builds people run: the Makefile and the CMake project of examples/
# (each as the man page shows it) rebuild the package when the layout or an image changes,
# and only then, with an image name holding a space, '$' and '#'.
# Usage: depfile_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
export PATH="$build:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

tricky='my icon$#1.png'
setup() {
  rm -rf "$work/p" && mkdir -p "$work/p/images" && cd "$work/p" || exit 1
  sed "s/icon.png/$tricky/" "$source/examples/layout.xml" > layout.xml
  cp "$source/examples/icon.png" "images/$tricky"
  cp "$source/examples/logo.jpg" images/
}

# expect BUILT|UP_TO_DATE STEP COMMAND...: runs a build and checks whether it made the package.
expect() {
  local want=$1 step=$2 log
  shift 2
  log=$("$@" 2>&1) || { fail "$step: the build failed: $log"; return; }
  if grep -q '^Hash: ' <<<"$log"; then got=BUILT; else got=UP_TO_DATE; fi
  [ "$got" = "$want" ] || fail "$step: $got, expected $want: $log"
  age
}

# Moves every file of the project ten seconds into the past, their order kept: the next change
# is newer than anything built, without waiting for the clock (whose file times are coarse).
age() {
  /usr/bin/python3 - <<'PY'
import os
for root, dirs, files in os.walk("."):
    for name in dirs + files:
        path = os.path.join(root, name)
        st = os.lstat(path)
        os.utime(path, ns=(st.st_atime_ns - 10**10, st.st_mtime_ns - 10**10),
                 follow_symlinks=False)
PY
}

rebuilds() {  # NAME AFTER-REMOVAL BUILD-COMMAND...
  local name=$1 after=$2
  shift 2
  expect BUILT "$name first" "$@"
  expect UP_TO_DATE "$name again" "$@"
  touch "images/$tricky"
  expect BUILT "$name image with a space, \$ and #" "$@"
  touch images/logo.jpg
  expect BUILT "$name second image" "$@"
  touch layout.xml
  expect BUILT "$name layout" "$@"
  # An image the layout stops naming may go away without breaking the build.
  sed -i 's|<logo>logo.jpg</logo>|<text>no logo</text>|' layout.xml
  rm images/logo.jpg
  expect BUILT "$name image removed" "$@"
  expect "$after" "$name after removal" "$@"
}

setup
rebuilds make UP_TO_DATE make -f "$source/examples/make/Makefile"
# CMake's Makefile generator (3.25) keeps a dependency it once read from a depfile, so a
# removed image rebuilds the package on every build; Ninja forgets it.
for generator in "Unix Makefiles:BUILT" "Ninja:UP_TO_DATE"; do
  setup
  cp "$source/examples/cmake/CMakeLists.txt" .
  cmake -S . -B out -G "${generator%:*}" >/dev/null || fail "cmake -G ${generator%:*}"
  rebuilds "cmake ${generator%:*}" "${generator#*:}" cmake --build out
done

# The policy file is a prerequisite: changing its dir packages the other folder's images, with
# make and with ninja; refs --depfile prints build's own rule.
for tool in make ninja; do
  setup
  mkdir other && cp images/* other/ && printf 'x' >> other/logo.jpg
  echo 'dir = images' > .branding-lint
  if [ $tool = make ]; then
    printf 'brand.pkg: layout.xml\n\tbranding-package-inspect build layout.xml -o $@ --depfile $@.d\n-include brand.pkg.d\n' > Makefile
    run=(make)
  else
    printf 'rule brand\n  command = branding-package-inspect build layout.xml -o brand.pkg --depfile brand.pkg.d\n  depfile = brand.pkg.d\nbuild brand.pkg: brand layout.xml\n' > build.ninja
    run=(ninja)
  fi
  expect BUILT "$tool policy first" "${run[@]}"
  [ $tool = make ] && { refs=$(branding-package-inspect refs layout.xml --depfile brand.pkg) &&
    [ "$refs" = "$(cat brand.pkg.d)" ] || fail "refs --depfile is not build's rule: $refs"; }
  expect UP_TO_DATE "$tool policy again" "${run[@]}"
  before=$(sha256sum < brand.pkg)
  echo 'dir = other' > .branding-lint
  expect BUILT "$tool policy's folder changed" "${run[@]}"
  [ "$(sha256sum < brand.pkg)" != "$before" ] || fail "$tool: the other folder's logo was not packaged"
  expect UP_TO_DATE "$tool policy after" "${run[@]}"
done

# The man page shows both files as they are.
page=$(MANWIDTH=200 man -l "$build/branding-package-inspect.1" 2>/dev/null | sed 's/^ *//')
for file in examples/make/Makefile examples/cmake/CMakeLists.txt; do
  while IFS= read -r line; do
    line=${line#"${line%%[![:space:]]*}"}
    [ -z "$line" ] && continue
    grep -qxF -- "$line" <<<"$page" || fail "the man page lacks this line of $file: $line"
  done < "$source/$file"
done

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
