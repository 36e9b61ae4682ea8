#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine: installs what is missing, checks the SDK
# headers against the firmware's, cross-compiles the apps for the device and builds and checks their
# packages for API 36.0, 38.0 and 86.0 (all beside the first compile), runs every test under
# AddressSanitizer/UBSan and fuzzes the module's reply parsing, the key-value file reader, the tag
# file load and the scenario parser for a bounded time (one clang tree), builds the simulator and
# the benchmarks as shipped and plays the simulator's own tests on them, the web page's in headless
# Chromium (label browser) among them, and last every test that starts OS threads under
# ThreadSanitizer with the fuzzers' bounded runs beside. Each stage prints its time; the last line
# counts the tests of every tree. docs/testing.md says how to add a stage or a test.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)

# ---- The trees: one per kind of build. Each is configured with these options and builds all that
# they enable (see the BUILD_* options in CMakeLists.txt); its stage runs its tests by CTest label.
# Unit test programs carry their folder's name as label; fsim's own tests `scenario`,
# `terminal`, `bridge`, `cli`, and `browser` (the web page in headless Chromium); the fuzzers'
# smoke tests `fuzz`; the SDK checker's cases `tools`.
unity=(-DCMAKE_UNITY_BUILD=ON)
# AddressSanitizer+UBSan with clang: every test, and the libFuzzer targets on the same libraries.
asan_tree=build-asan
asan_options=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSANITIZE=address -DSANITIZE_OPTIMIZE=-O0
  -DBUILD_FUZZERS=ON -DBUILD_BENCHES=OFF "${unity[@]}")
asan_tests=(-LE 'fuzz|tools|browser') # the bounded fuzz runs below go far beyond the smoke tests
fuzz_targets=(fuzz_replies_run fuzz_flipper_format_run fuzz_tag_file_run fuzz_scenario_run)
# ThreadSanitizer with GCC: every program that starts an OS thread of its own (platform threads
# are fibers on one; tests/CMakeLists.txt leaves the others out of this tree) and fsim's bridge
# between two processes, whose pumps are threads. The web server's threads are in unit_web.
tsan_tree=build-tsan
tsan_options=(-DSANITIZE=thread -DBUILD_BENCHES=OFF "${unity[@]}")
tsan_tests=(-L '^(core|web|bridge)$')
# As shipped (GCC, -O2): fsim, the benchmarks, and fsim's tests on that build, the web page in
# headless Chromium among them (the longest, so CTest starts it first). The unit tests run in both
# sanitizer trees above.
plain_tree=build-plain
plain_options=(-DBUILD_UNIT_TESTS=OFF "${unity[@]}")
plain_tests=(-LE tools)

# ---- Stage bookkeeping: each stage prints its wall time and the CPU time of its commands when
# the next one starts; stages started with `background` run beside the others and print their
# output and time when joined (their CPU time counts in the stage that joins them).
logs=$(mktemp -d)
background_names=()
background_pids=()
trap '((${#background_pids[@]} == 0)) || kill "${background_pids[@]}" 2>/dev/null || true; rm -rf "$logs"' EXIT
cpu_seconds() { # user+sys of every finished child of this shell, in whole seconds
  times >"$logs/times" # in this shell: a subshell's `times` would not see its parent's children
  awk 'NR == 2 { t = 0; for(i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
                 printf "%d", t }' "$logs/times"
}
stage_start=$SECONDS
stage_cpu=0
stage() {
  local cpu
  cpu_seconds >"$logs/cpu"
  cpu=$(cat "$logs/cpu")
  if [[ -n ${stage_name:-} ]]; then
    echo "-- $stage_name took $((SECONDS - stage_start)) s, CPU $((cpu - stage_cpu)) s" \
      "(total $SECONDS s)"
  fi
  stage_name=$1
  stage_start=$SECONDS
  stage_cpu=$cpu
  [[ -n $1 ]] && echo "== $1"
  return 0
}

background() { # <name> <command...>: runs the command beside the next stages
  local name=$1 index=${#background_names[@]}
  shift
  background_names+=("$name")
  echo "== $name (in the background)"
  (
    start=$SECONDS
    rc=0
    "$@" >"$logs/$index.log" 2>&1 || rc=$?
    echo "$((SECONDS - start))" >"$logs/$index.time"
    exit "$rc"
  ) &
  background_pids+=($!)
}
join_background() { # waits for every background stage; fails if one did
  local index rc failed=0 outcome
  for index in "${!background_names[@]}"; do
    rc=0
    wait "${background_pids[$index]}" || rc=$?
    outcome="took $(cat "$logs/$index.time" 2>/dev/null || echo '?') s"
    ((rc == 0)) || { outcome+=", FAILED (exit $rc)"; failed=1; }
    echo "== ${background_names[$index]} (ran in the background)"
    cat "$logs/$index.log"
    echo "-- ${background_names[$index]} $outcome"
  done
  background_names=()
  background_pids=()
  return "$failed"
}
ctest_log=$logs/ctest.log
run_tests() { # <tree> [ctest options...]: runs the tree's tests, counting them for the last line
  local tree=$1 # $test_jobs tests at a time (default: one per core)
  shift
  ctest --test-dir "$tree" --output-on-failure -j "${test_jobs:-$jobs}" "$@" | tee -a "$ctest_log"
}

stage "Debian packages (scripts/deps.sh)"
scripts/deps.sh

stage ""
background "SDK headers against the firmware's (tools/sdk_check.py)" \
  bash -c 'python3 tools/test_sdk_check.py && python3 tools/sdk_check.py'
background "Device cross-compile (arm-none-eabi, device flags, exported symbols, stack budgets)" \
  bash -c 'bash tools/test_device_build.sh && bash tools/device_build.sh --report'
# The packages' build compiles the apps again for each SDK, warning-free and symbol-checked as the
# device build does, so the 86.0 SDK needs no device build of its own.
background "Packages for API 36.0, 38.0 and 86.0 (tools/package.sh), checked as the loader would (tools/fapinfo)" \
  bash -c 'tools/package.sh && python3 tools/test_fapinfo.py'

stage "AddressSanitizer and UndefinedBehaviorSanitizer: build (clang, tests and fuzzers)"
scripts/build.sh "$asan_tree" "${asan_options[@]}"

stage ""
join_background

# Each later tree compiles beside the tests of the one before, at low priority: the tests leave
# part of the machine idle (the bridge, terminal and browser tests wait on real time, a test
# program runs on one core), and the compile takes only what they leave.
background "Plain build: fsim and the benchmarks as shipped (beside the ASan tests, at low priority)" \
  nice -n 10 scripts/build.sh "$plain_tree" "${plain_options[@]}"

stage "AddressSanitizer and UndefinedBehaviorSanitizer: tests"
run_tests "$asan_tree" "${asan_tests[@]}"

stage ""
join_background

background "ThreadSanitizer: build (beside the plain tests, at low priority)" \
  nice -n 10 scripts/build.sh "$tsan_tree" "${tsan_options[@]}"
# The first fuzzer's bounded run too, so that the others end with the TSan tests below.
background "Fuzzing (libFuzzer, bounded, beside the plain tests): module replies" \
  nice -n 10 cmake --build "$asan_tree" -j 1 --target "${fuzz_targets[0]}"

stage "Plain tests (the web page in headless Chromium among them, on the plain tree's fsim)"
run_tests "$plain_tree" "${plain_tests[@]}"

stage ""
join_background

# The TSan tests mostly wait on real time (the bridges' pseudo-terminals, the web server's
# sockets): twice as many at once as there are cores, and the other fuzzers' bounded runs beside
# them, one at a time (each prints its final stats when it ends).
background "Fuzzing (libFuzzer, bounded, one at a time beside the TSan tests): key-value reader, tag file load, scenario parser" \
  nice -n 10 cmake --build "$asan_tree" -j 1 --target "${fuzz_targets[@]:1}"

stage "ThreadSanitizer: tests"
test_jobs=$((jobs * 2)) run_tests "$tsan_tree" "${tsan_tests[@]}"

stage ""
join_background

stage ""
cpu_seconds >"$logs/cpu"
echo "-- every stage passed in $SECONDS s, CPU $(cat "$logs/cpu") s"
# One line for all trees: "N passed, N failed".
awk '/tests passed, .* tests failed out of/ {
       for(i = 1; i <= NF; i++) if($i == "out") total += $(i + 2);
       failed += $(NF - 5) }
     END { printf "tests: %d passed, %d failed\n", total - failed, failed }' "$ctest_log"
