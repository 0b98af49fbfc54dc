#!/usr/bin/env bash
# make install and make uninstall. The install goes under DESTDIR+PREFIX and records, inside
# DESTDIR, exactly the files it wrote and the folders it had to create; uninstall removes
# those and nothing else (a folder only when it is left empty).
#   scripts/install.sh install BUILD PREFIX [DESTDIR]
#   scripts/install.sh uninstall BUILD
# The records are kept in BUILD, or in $BP_INSTALL_RECORDS.
set -euo pipefail
action=$1
build=$2
records=${BP_INSTALL_RECORDS:-$build}
files=$records/installed-files.txt
dirs=$records/installed-dirs.txt

case $action in
install)
  # Every folder made is open to every user, whatever the installer's umask.
  umask 022
  prefix=$3
  destdir=${4:-}
  # Which files the install writes, from an install into a scratch folder: the folders they
  # need that are missing now are the install's own, whatever else appears meanwhile.
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  DESTDIR=$scratch cmake --install "$build" --prefix "$prefix" >/dev/null
  created=()
  while IFS= read -r -d '' folder; do
    folder=$destdir${folder#"$scratch"}
    [ -e "$folder" ] || created+=("$folder")
  done < <(find "$scratch" -mindepth 1 -type d -print0 | sort -z)
  DESTDIR=$destdir cmake --install "$build" --prefix "$prefix" --strip
  # CMake's manifest leaves DESTDIR out, and its last line has no line end; cpack rewrites
  # it: the list is kept apart.
  while IFS= read -r file || [ -n "$file" ]; do printf '%s%s\n' "$destdir" "$file"; done \
    < "$build/install_manifest.txt" > "$files"
  printf '%s\n' ${created[@]+"${created[@]}"} | sed '/^$/d' > "$dirs"
  ;;
uninstall)
  [ -f "$files" ] || { echo "nothing installed from $build"; exit 1; }
  xargs -r -d '\n' rm -fv < "$files"
  sort -r "$dirs" 2>/dev/null | xargs -r -d '\n' rmdir -v --ignore-fail-on-non-empty
  rm -f "$files" "$dirs"
  ;;
*)
  echo "usage: $0 install BUILD PREFIX [DESTDIR] | uninstall BUILD" >&2
  exit 2
  ;;
esac
