#!/usr/bin/env bash
# The project configures with both CMake generators, and Ninja (which refuses a target named
# as a file it builds: a cycle) plans a whole build. Usage: generators_test.sh SOURCE_DIR
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
check() {
  if ! "$@" >>"$work/log" 2>&1; then
    echo "FAIL: $*"
    cat "$work/log"
    status=1
  fi
}
check cmake -G "Unix Makefiles" -S "$1" -B "$work/make" -DBP_BUILD_TESTS=ON
check cmake -G Ninja -S "$1" -B "$work/ninja" -DBP_BUILD_TESTS=ON
check ninja -C "$work/ninja" -n
[ "$status" -eq 0 ] && echo "generators: Unix Makefiles and Ninja"
exit "$status"
