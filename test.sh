#!/usr/bin/env bash
# Runs the whole test suite on a fresh Debian 12 machine: installs what is missing, checks the SDK
# headers against the firmware's, cross-compiles the apps for the device and builds and checks
# their packages, runs the threaded tests under ThreadSanitizer and everything under
# AddressSanitizer/UBSan, fuzzes the module's reply parsing, the key-value file reader, the tag
# file load and the scenario parser for a bounded time, then builds and runs every test. The last
# lines are CTest's summary.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
# Each stage says how long the one before it took, so slow stages show in CI's log.
stage_start=$SECONDS
stage() {
  if [[ -n ${stage_name:-} ]]; then echo "-- $stage_name took $((SECONDS - stage_start)) s (total $SECONDS s)"; fi
  stage_name=$1
  stage_start=$SECONDS
  echo "== $1"
}

stage "Debian packages (scripts/deps.sh)"
scripts/deps.sh

stage "SDK headers against the firmware's (tools/sdk_check.py)"
python3 tools/test_sdk_check.py
python3 tools/sdk_check.py

stage "Device cross-compile (arm-none-eabi, device flags, exported symbols, stack budgets)"
bash tools/test_device_build.sh
bash tools/device_build.sh --report
bash tools/device_build.sh --sdk 86.0 --out build-device-86.0

stage "Packages for API 36.0, 38.0 and 86.0 (tools/package.sh), checked as the loader would (tools/fapinfo)"
tools/package.sh
tools/fapinfo dist/*/*.fap

stage "ThreadSanitizer"
scripts/build.sh build-tsan -DSANITIZE=thread
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -E 'fuzz'

stage "AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/build.sh build-asan -DSANITIZE=address
ctest --test-dir build-asan --output-on-failure -j "$jobs" -E 'fuzz'

stage "Fuzzing the module replies (libFuzzer, bounded)"
scripts/build.sh build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBUILD_FUZZERS=ON \
  -- --target fuzz_replies --target fuzz_flipper_format --target fuzz_tag_file --target fuzz_scenario
FUZZ_RUNS=${FUZZ_RUNS:-100000} FUZZ_MAX_SECONDS=${FUZZ_MAX_SECONDS:-60} \
  cmake --build build-fuzz --target fuzz_replies_run

stage "Fuzzing the key-value file reader (libFuzzer, bounded)"
cmake --build build-fuzz --target fuzz_flipper_format_run

stage "Fuzzing the tag file load (libFuzzer, bounded)"
cmake --build build-fuzz --target fuzz_tag_file_run

stage "Fuzzing the scenario parser (libFuzzer, bounded)"
cmake --build build-fuzz --target fuzz_scenario_run

stage "Build"
scripts/build.sh build

stage "Tests"
ctest --test-dir build --output-on-failure -j "$jobs"
