#!/usr/bin/env bash
# Includes between folders run down the layers only, and no file includes itself through others.
# A folder may include its own files and those of the layers below it; folders of one layer
# include none of each other. Order as in the README's "Layout".
#   include_layers.sh <source root>
set -euo pipefail
cd "$1"
layers=("log" "worker_base formats" "delivery" "coordinates telemetry" "app" "tools" "tests" "bench fuzz")
declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[$i]}; do rank[$folder]=$i; done
done

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS=: read -r file number directive; do
  name=${directive#*\"}
  name=${name%\"}
  # Beside the file, from the root, or from the tests' shared folder (the include paths in use).
  included=
  for candidate in "${file%/*}/$name" "$name" "tests/support/$name"; do
    if [[ -f $candidate ]]; then
      included=$candidate
      break
    fi
  done
  if [[ -z $included ]]; then
    echo "$file:$number: $name is not in the tree"
    status=1
    continue
  fi
  from=${file%%/*} to=${included%%/*}
  if [[ $from != "$to" ]] && ! ((${rank[$to]:-99} < ${rank[$from]})); then
    echo "$file:$number: $from/ includes $included, which is not in a lower layer"
    status=1
  fi
  echo "$file $included" >>"$edges"
done < <(grep -rnoE '^#include "[^"]+"' --include='*.cpp' --include='*.hpp' --include='*.c' "${!rank[@]}")

tsort "$edges" >/dev/null || status=1
((status == 0)) && echo "includes follow the layers"
exit $status
