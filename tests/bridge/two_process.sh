#!/usr/bin/env bash
# The serial bridge between two processes: `fsim module --pty` serves the virtual YRM100 on a
# pseudo-terminal, and `fsim corvane --uart` runs a scenario with the app talking to it.
#   two_process.sh FSIM [SCENARIO [CORVANE OPTIONS...]]   (e.g. --api 86.0)
# Exit 0 when the scenario held and the module ended cleanly, 77 (skipped) when this fsim cannot
# run scenario files, anything else on a failure.
set -euo pipefail

fsim=${1:?usage: two_process.sh FSIM [SCENARIO]}
scenario=${2:-$(dirname "$0")/module_check.yaml}
shift $(($# < 2 ? $# : 2))
corvane_options=("$@")
tmp=$(mktemp -d)
module_pid=

finish() {
    exec 3>&- 2>/dev/null || true # the module's input ends: it stops and removes its link
    if [ -n "$module_pid" ]; then
        for _ in $(seq 50); do kill -0 "$module_pid" 2>/dev/null || break; sleep 0.1; done
        kill "$module_pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap finish EXIT

# The module stops when its input ends: give it a fifo that this script holds open on fd 3.
mkfifo "$tmp/control"
"$fsim" module --pty --link "$tmp/yrm" --hardware "PTY M100 HW" --manufacturer "FarSide" \
    <"$tmp/control" >"$tmp/module.out" 2>"$tmp/module.err" &
module_pid=$!
exec 3>"$tmp/control"

for _ in $(seq 50); do [ -L "$tmp/yrm" ] && break; sleep 0.1; done
if [ ! -L "$tmp/yrm" ]; then
    echo "fsim module did not make its link:"
    cat "$tmp/module.err"
    exit 1
fi
echo "module on $(head -n 1 "$tmp/module.out") linked at $tmp/yrm"

# Lines on the module's input act on it and are answered on its stdout.
answer() { # answer COMMAND EXPECTED: sends the command, waits for the expected answer
    echo "$1" >&3
    for _ in $(seq 50); do grep -qF -- "$2" "$tmp/module.out" && return 0; sleep 0.1; done
    echo "fsim module did not answer '$1' with '$2':"
    cat "$tmp/module.out"
    exit 1
}
answer "help" "fault silence|corrupt|cut|noise|delay"
answer "tag add 3000" "tag 2 in the field: 3000"
answer "tag list" "2 tags"
answer "tag remove 2" "tag 2 left the field"
answer "frobnicate" "unknown command 'frobnicate' (help lists them)"

set +e
timeout 60 "$fsim" corvane --uart "$tmp/yrm" "${corvane_options[@]}" --scenario "$scenario" \
    >"$tmp/app.out" 2>"$tmp/app.err"
app_code=$?
set -e
cat "$tmp/app.out" "$tmp/app.err"
if grep -q "scenario files are not supported" "$tmp/app.err"; then
    echo "SKIP: this fsim cannot run scenario files"
    exit 77
fi
if [ "$app_code" -ne 0 ]; then
    echo "fsim corvane --uart exited $app_code"
    exit 1
fi

# Ending the module's input ends it with 0 and takes its link away.
exec 3>&-
set +e
for _ in $(seq 50); do kill -0 "$module_pid" 2>/dev/null || break; sleep 0.1; done
wait "$module_pid"
module_code=$?
set -e
module_pid=
if [ "$module_code" -ne 0 ]; then
    echo "fsim module exited $module_code:"
    cat "$tmp/module.err"
    exit 1
fi
if [ -e "$tmp/yrm" ] || [ -L "$tmp/yrm" ]; then
    echo "fsim module left its link behind"
    exit 1
fi

# A line that goes away mid-run: fsim corvane says when and ends non-zero.
mkfifo "$tmp/control2"
"$fsim" module --pty --link "$tmp/yrm2" <"$tmp/control2" >"$tmp/module2.out" 2>"$tmp/module2.err" &
module_pid=$!
exec 3>"$tmp/control2"
for _ in $(seq 50); do [ -L "$tmp/yrm2" ] && break; sleep 0.1; done
cat >"$tmp/wait.yaml" <<'YAML'
name: a line that goes away
version: 1
steps:
  - expect-text: {text: "Module Info", timeout: 5000}
  - wait: 3000
YAML
set +e
timeout 60 "$fsim" corvane --uart "$tmp/yrm2" --scenario "$tmp/wait.yaml" >"$tmp/app2.out" 2>"$tmp/app2.err" &
app_pid=$!
sleep 1.5
echo quit >&3 # the module stops serving: its end of the line hangs up
wait "$app_pid"
app_code=$?
set -e
if [ "$app_code" -ne 1 ] || ! grep -qE "the module's line failed: .*device went away at [0-9:]+, [0-9.]+ s into the run" "$tmp/app2.err"; then
    echo "a lost line: fsim corvane exited $app_code, saying:"
    cat "$tmp/app2.out" "$tmp/app2.err"
    exit 1
fi
exec 3>&-
wait "$module_pid" || true
module_pid=
echo "two processes: scenario held, module ended cleanly, a lost line was reported"
