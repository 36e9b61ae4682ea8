#!/usr/bin/env bash
# build.sh <build dir> [cmake configure options...] [-- build options...]
# Configures a Ninja tree, then builds it (everything it is configured for, unless build options
# say otherwise). An existing tree is configured again only when options are given and differ
# from the last ones (kept in <build dir>/configure-options); its old cache goes then, so an
# option left out is gone too. Without options an existing tree is built as it is.
set -euo pipefail
dir=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd)
configure=()
while (($#)) && [[ $1 != "--" ]]; do
  configure+=("$1")
  shift
done
(($#)) && shift  # the "--"
stamp="$dir/configure-options"
wanted=$(printf '%s\n' "${configure[@]+"${configure[@]}"}")
if [[ ! -f "$dir/build.ninja" ]] ||
  { ((${#configure[@]})) && [[ ! -f $stamp || $(cat "$stamp") != "$wanted" ]]; }; then
  if [[ -f $stamp ]]; then rm -f "$dir/CMakeCache.txt"; fi
  cmake -S "$root" -B "$dir" -G Ninja "${configure[@]+"${configure[@]}"}" >/dev/null
  printf '%s' "$wanted" >"$stamp"
fi
cmake --build "$dir" -j "$(nproc)" "$@"
