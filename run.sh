#!/usr/bin/env bash
# The main job: builds the simulator and runs corvane on it. On a terminal, live: the app's screen
# in the terminal with a virtual YRM100 module, one tag in its field and a sample SD card (keys:
# arrows, Enter = OK, Esc = Back; ':help' lists the commands). Without a terminal (CI, a pipe),
# the read-and-save scenario, printing each screen as text and saving the screenshots in
# out/screenshots. `./run.sh --web [[HOST:]PORT]` serves corvane on a web page instead and prints
# its address. Any other arguments go to the simulator instead (try --help).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
# Only fsim: the tests and benchmarks are test.sh's. A fresh tree is a unity build (see
# docs/testing.md); an existing one is built as it is configured.
configure=()
[[ -f build/build.ninja ]] || configure=(-DCMAKE_UNITY_BUILD=ON)
echo "Building the simulator (build/sim/fsim)..." >&2
scripts/build.sh build "${configure[@]+"${configure[@]}"}" -- --target fsim >/dev/null
if (($# > 0)) && [[ $1 == --web ]]; then
  # corvane on a web page: ./run.sh --web [[HOST:]PORT] [more fsim corvane options]
  shift
  address=0
  if (($# > 0)) && [[ $1 != -* ]]; then
    address=$1
    shift
  fi
  exec build/sim/fsim corvane --web "$address" "$@"
fi
if (($# > 0)); then
  exec build/sim/fsim "$@"
fi
if [[ -t 0 && -t 1 ]]; then
  exec build/sim/fsim corvane
fi
mkdir -p out/screenshots
exec build/sim/fsim corvane --no-tags --scenario sim/scenarios/corvane-read-save.yaml --show \
  --screenshots out/screenshots
