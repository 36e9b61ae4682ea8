#!/usr/bin/env bash
# fuzz_all.sh [--runs N] [--build DIR] [--parallel P] [--max-time S] [--only NAME] [--out DIR]
#             [--summary]
#
# Builds the libFuzzer tree with clang (BUILD_FUZZERS=ON) if it is missing, then runs every fuzz
# target in it for N inputs each (default 10,000,000) from its checked-in seeds, P targets at a
# time (default 2), and prints one line per target: inputs executed, edges covered, corpus size,
# crashes (0 or the file the input was written to) and wall time. Exits 1 if any target crashed.
#
# The targets are found, not listed: every executable named fuzz_* in the build tree. Each one's
# seed folder and input size bound come from its smoke test (add_fuzzer_runs() registers one);
# a target without one reads tests/fuzz/corpus/<name without fuzz_> if that exists.
# New inputs go to <out>/<target>/corpus (out: DIR/fuzz_all), made fresh for every run, so the
# figures are those of this run alone; logs and crash files stay beside it. --summary prints the
# table of the last run in <out> again without running anything.
#
# ASan keeps no allocation stacks in these runs (malloc_context_size=0, unless ASAN_OPTIONS is
# set): unwinding through yaml-cpp, built without frame pointers, gives a new junk stack for
# nearly every allocation, and ASan's stack store grows until a 10M run passes libFuzzer's 2 GB
# limit. A crash file run again by hand (<target> <crash file>) reports with full stacks.
set -euo pipefail
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0}

root=$(cd "$(dirname "$0")/.." && pwd)
runs=10000000
build="$root/build-fuzz"
parallel=2
max_time=0
only=""
out=""
summary_only=0

usage() { sed -n '2,22s/^# \{0,1\}//p' "$0"; }
while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --parallel) parallel=$2; shift 2 ;;
    --max-time) max_time=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --summary) summary_only=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "fuzz_all.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done
[[ $runs =~ ^[0-9]+$ && $parallel =~ ^[1-9][0-9]*$ && $max_time =~ ^[0-9]+$ ]] || {
  echo "fuzz_all.sh: --runs, --parallel and --max-time take whole numbers" >&2
  exit 2
}
build=$(realpath -m "$build")

out=$(realpath -m "${out:-$build/fuzz_all}")
mkdir -p "$out"

if ((summary_only)); then
  mapfile -t outputs < <(find "$out" -mindepth 2 -maxdepth 2 -name result -printf '%h\n' | sort)
  ((${#outputs[@]})) || { echo "fuzz_all.sh: no run in $out" >&2; exit 2; }
else
  if [[ ! -f $build/build.ninja ]]; then
    echo "== configuring $build (clang, BUILD_FUZZERS=ON)"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DBUILD_FUZZERS=ON >/dev/null
  fi

  # Every executable target named fuzz_*, wherever it is built.
  mapfile -t outputs < <(ninja -C "$build" -t targets all |
    sed -n 's/^\(\([^:]*\/\)\{0,1\}fuzz_[A-Za-z0-9_]*\): CXX_EXECUTABLE_LINKER.*/\1/p' | sort -u)
  if [[ -n $only ]]; then
    mapfile -t outputs < <(printf '%s\n' "${outputs[@]}" | grep -E "(^|/)$only\$" || true)
  fi
  ((${#outputs[@]})) || { echo "fuzz_all.sh: no fuzz_* executable in $build" >&2; exit 2; }
  echo "== building ${#outputs[@]} fuzz targets"
  ninja -C "$build" "${outputs[@]}" >/dev/null

  # The smoke test's arguments: the seed folder (its last argument) and -max_len.
  smoke_args() { # <target name> -> "max_len<TAB>seeds" or nothing
    grep -rh --include=CTestTestfile.cmake "add_test(\[=\[$1_smoke\]=\]" "$build" 2>/dev/null |
      head -n1 | sed -n 's/.*"-max_len=\([0-9]*\)".* "\([^"]*\)")$/\1\t\2/p'
  }


  run_one() { # <path of the executable>
    local exe=$build/$1 name max_len seeds dir start end
    name=$(basename "$1")
    dir=$out/$name
    rm -rf "$dir"
    mkdir -p "$dir/corpus"
    IFS=$'\t' read -r max_len seeds < <(smoke_args "$name") || true
    if [[ -z ${seeds:-} ]]; then
      seeds=$root/tests/fuzz/corpus/${name#fuzz_}
      max_len=""
    fi
    local args=(-runs="$runs" -seed=1 -print_final_stats=1 -artifact_prefix="$dir/")
    [[ -n $max_len ]] && args+=(-max_len="$max_len")
    ((max_time > 0)) && args+=(-max_total_time="$max_time")
    local corpora=("$dir/corpus")
    [[ -d $seeds ]] && corpora+=("$seeds")
    start=$(date +%s)
    local rc=0
    "$exe" "${args[@]}" "${corpora[@]}" >"$dir/log" 2>&1 || rc=$?
    end=$(date +%s)
    printf '%s\n' "$rc" "$((end - start))" >"$dir/result"
  }

  # At most $parallel targets at once; the order of the table is the order of discovery.
  running=0
  for exe in "${outputs[@]}"; do
    echo "   running $(basename "$exe") ($runs inputs)"
    run_one "$exe" &
    running=$((running + 1))
    if ((running >= parallel)); then
      wait -n || true
      running=$((running - 1))
    fi
  done
  wait || true
fi

failed=0
printf '\n%-22s %12s %8s %8s %9s  %s\n' target executions edges corpus time crashes
for exe in "${outputs[@]}"; do
  name=$(basename "$exe")
  dir=$out/$name
  log=$dir/log
  { read -r rc; read -r seconds; } <"$dir/result"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  status=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n1 || true)
  edges=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
  corpus=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$status")
  if [[ ! -f $dir/result ]]; then
    printf '%-22s %s\n' "$name" "did not finish (see $log)"
    failed=1
    continue
  fi
  crash=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' \
    -o -name 'timeout-*' \) | head -n1)
  if [[ $rc != 0 || -n $crash ]]; then
    failed=1
    crashes=${crash:-"exit $rc, see $log"}
  else
    crashes=0
  fi
  printf '%-22s %12s %8s %8s %8ss  %s\n' "$name" "${execs:-?}" "${edges:-?}" "${corpus:-?}" \
    "$seconds" "$crashes"
done
exit "$failed"
