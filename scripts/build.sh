#!/usr/bin/env bash
# build.sh <build dir> [cmake configure options...] [-- build options...]
# Configures a Ninja tree once, then builds it (everything, unless build options say otherwise).
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
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -S "$root" -B "$dir" -G Ninja "${configure[@]}" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" "$@"
