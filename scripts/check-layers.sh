#!/usr/bin/env bash
# Fails when a folder of src/ includes a folder above it or beside it. The layers, bottom up;
# folders on one line are side by side and include none of each other. A folder's own
# subfolders are layers of their own (inspect/model below inspect/commands below inspect/lsp below inspect).
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(
  "base"
  "safe"
  "layout image digest"
  "package"
  "app inspect/model"
  "inspect/commands"
  "inspect/lsp inspect/serve"
  "inspect"
)
declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do rank[$folder]=$i; done
done
status=0
while IFS= read -r -d '' dir; do
  folder=${dir#src/}
  if [ -z "${rank[$folder]+set}" ]; then
    echo "src/$folder: not placed in a layer (scripts/check-layers.sh)"
    status=1
    continue
  fi
  while IFS=: read -r file line include; do
    path=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$include")
    target=$(dirname "$path")
    [ "$target" = "$folder" ] && continue
    if [ -z "${rank[$target]+set}" ] || [ "${rank[$target]}" -ge "${rank[$folder]}" ]; then
      echo "$file:$line: src/$folder may not include $target/"
      status=1
    fi
  done < <(find "$dir" -maxdepth 1 -type f -print0 | xargs -0 grep -nH -E '^#include "[^"]+/' || true)
done < <(find src -mindepth 1 -type d -print0)
# The parser's types stay in layout/; the packager's writer alone names its node, in the
# member that validates a parsed layout.
while IFS= read -r file; do
  case $file in src/layout/* | src/package/file_writer.*) ;; *)
    echo "$file: names the XML parser, which only src/layout/ may"
    status=1 ;;
  esac
done < <(grep -rl rapidxml src)
[ $status -eq 0 ] && echo "layers: every include points down; the parser stays in layout/"
exit $status
