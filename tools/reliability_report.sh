#!/usr/bin/env bash
# reliability_report.sh [--runs N] [--build DIR] [--fuzz-build DIR] [--no-fuzz] [--max-time S]
#                       [--fuzz-out DIR]
#
# Runs the fault campaign (unit_reliability, plain build in DIR, default build/) and prints how
# many fault cases ran and failed in each category, then the fuzzing figures of every fuzz target
# (tools/fuzz_all.sh with N inputs each, default 10,000,000; --runs 100000 for a quick look) in
# one table. --fuzz-out DIR reports the runs already in DIR (fuzz_all.sh --out DIR) instead of
# fuzzing again: a 10M run of every target takes hours. Exits 1 when a case failed or a fuzz
# target crashed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
runs=10000000
build="$root/build"
fuzz_build="$root/build-fuzz"
fuzz=1
max_time=0
fuzz_out=""

while (($#)); do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --fuzz-build) fuzz_build=$2; shift 2 ;;
    --no-fuzz) fuzz=0; shift ;;
    --max-time) max_time=$2; shift 2 ;;
    --fuzz-out) fuzz_out=$2; shift 2 ;;
    -h | --help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "reliability_report.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done

status=0
if [[ ! -f $build/build.ninja ]]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target unit_reliability >/dev/null

log=$(mktemp)
trap 'rm -f "$log"' EXIT
start=$(date +%s)
"$build/tests/unit_reliability" >"$log" 2>&1 || status=1
seconds=$(($(date +%s) - start))

echo "== Fault campaign (unit_reliability, ${seconds}s)"
printf '%-22s %8s %8s\n' category cases failed
total=0
failed=0
while IFS= read -r line; do
  if [[ $line =~ ^([a-zA-Z\ -]+):\ ([0-9]+)\ cases,\ ([0-9]+)\ failed$ ]]; then
    printf '%-22s %8s %8s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}"
    total=$((total + BASH_REMATCH[2]))
    failed=$((failed + BASH_REMATCH[3]))
  fi
done <"$log"
printf '%-22s %8s %8s\n' total "$total" "$failed"
grep -E '^\[ campaign \] (a |an )' "$log" | sed 's/^\[ campaign \] /  /' || true
if ((status != 0)); then
  echo "  failing tests:"
  grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u | sed 's/^/    /' || true
fi
((total > 0)) || { echo "  no campaign summary in the output" >&2; status=1; }

if ((fuzz)); then
  echo
  if [[ -n $fuzz_out ]]; then
    echo "== Fuzzing (the runs in $fuzz_out)"
    args=(--summary --out "$fuzz_out")
  else
    echo "== Fuzzing (tools/fuzz_all.sh, $runs inputs per target)"
    args=(--runs "$runs" --build "$fuzz_build")
    ((max_time > 0)) && args+=(--max-time "$max_time")
  fi
  fuzz_log=$(mktemp)
  trap 'rm -f "$log" "$fuzz_log"' EXIT
  "$root/tools/fuzz_all.sh" "${args[@]}" >"$fuzz_log" 2>&1 || status=1
  if grep -q '^target ' "$fuzz_log"; then
    sed -n '/^target /,$p' "$fuzz_log"
  else
    cat "$fuzz_log"
  fi
fi
exit "$status"
