#!/usr/bin/env bash
# The main job: builds the simulator and runs it. With no arguments it runs the step counter on a
# simulated walk and shows its final screen; any arguments go to the simulator (try --help).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh build >/dev/null
if (($# == 0)); then
  exec build/sim/fsim pacewick
fi
exec build/sim/fsim "$@"
