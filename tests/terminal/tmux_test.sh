#!/usr/bin/env bash
# fsim corvane live in a real terminal: a detached tmux session of 100x40 runs it with a tag in
# the field; keys go in with send-keys and the pane is read back with capture-pane. The screen is
# braille pixels, so progress is read off the "screen:" line that lists its strings. The walk: the
# module check, the start menu, Read Tag, the result, More, Save, a name typed at the terminal,
# "Saved!", the .uhf file on the SD card folder; then Ctrl-C ends it with exit status 0 and the
# terminal out of the alternate screen with its cursor back.
#
#     tests/terminal/tmux_test.sh build/sim/fsim
#
# Exit 0: passed; 1: failed (with the pane as it was); 77: skipped, there is no tmux.
set -u

fsim=${1:?usage: tmux_test.sh path/to/fsim}
if ! command -v tmux >/dev/null 2>&1; then
    echo "SKIP: tmux is not installed"
    exit 77
fi
fsim=$(cd "$(dirname "$fsim")" && pwd)/$(basename "$fsim")

work=$(mktemp -d)
socket="fsim-tmux-test-$$"
epc=E28011606000020D6A82BC77
epc_spaced="E2 80 11 60 60 00 02 0D 6A 82 BC 77"

# A server of its own, with no user configuration.
printf 'set -g history-limit 0\n' >"$work/tmux.conf"
t() { tmux -L "$socket" -f "$work/tmux.conf" "$@"; }
cleanup() {
    t kill-server >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

pane() { t capture-pane -p -t fsim 2>/dev/null; }

fail() {
    echo "FAIL: $*"
    echo "--- the pane:"
    pane
    echo "---"
    exit 1
}

# Waits (at most `seconds`) until the pane shows `text`.
wait_for() {
    local text=$1 seconds=${2:-10}
    local tries=$((seconds * 20))
    for ((i = 0; i < tries; i++)); do
        if pane | grep -qF -- "$text"; then return 0; fi
        sleep 0.05
    done
    fail "no '$text' within ${seconds} s"
}

step() { echo "- $*"; }

t new-session -d -s fsim -x 100 -y 40 -c "$work" \
    "'$fsim' corvane --sd '$work/sd' --tag $epc --speed 2; echo fsim-exit=\$?; sleep 60" ||
    fail "tmux did not start"

step "the module check finds the module"
wait_for "screen: Module Info"
wait_for "5V on"
step "Continue: the start menu"
t send-keys -t fsim Right
wait_for "screen: > Read Tag | Saved | Settings"
step "Read Tag: the tag in the field is read"
t send-keys -t fsim Enter
wait_for "screen: Read Success"
pane | tr -d '\n' | grep -qF "${epc_spaced:0:14}" || fail "the result does not show the EPC"
step "More, Save: the name screen"
t send-keys -t fsim Right
wait_for "screen: > Save | Change Key"
t send-keys -t fsim Enter
wait_for "screen: Name the tag"
step "the name typed at the terminal goes to the keyboard; Enter saves"
wait_for "Enter=Save"
t send-keys -t fsim 'tmux_1'
wait_for "screen: Name the tag | Tmux_1"
t send-keys -t fsim Enter
wait_for "screen: Saved!" 15
saved="$work/sd/apps_data/corvane/Tmux_1.uhf"
[[ -f "$saved" ]] || fail "no $saved; the folder has: $(ls "$work/sd/apps_data/corvane")"
grep -qF "EPC: $epc_spaced" "$saved" || fail "$saved holds no 'EPC: $epc_spaced': $(cat "$saved")"
step "a screenshot with p, by default in out/screenshots"
t send-keys -t fsim p
wait_for "screenshot saved to $work/out/screenshots/fsim-0001.png"
[[ -s "$work/out/screenshots/fsim-0001.png" ]] || fail "no screenshot"

step "Ctrl-C quits cleanly"
t send-keys -t fsim C-c
wait_for "fsim-exit=" 10
pane | grep -qx "fsim-exit=0" || fail "fsim did not end with status 0"
# The shell that ran it waits on: the terminal is as fsim left it.
[[ $(t display -p -t fsim '#{alternate_on}') == 0 ]] || fail "the terminal was left in the alternate screen"
[[ $(t display -p -t fsim '#{cursor_flag}') == 1 ]] || fail "the cursor was left hidden"
echo "PASS"
