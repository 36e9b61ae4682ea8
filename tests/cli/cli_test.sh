#!/usr/bin/env bash
# fsim's command lines as a user types them: each bad option or value gives one line on stderr
# and exit 2, naming what is wrong (a value that is not a number, a likely typo of an option,
# options that do not go together, an empty value, a path whose folder does not exist, which
# fsim must not make); --help names the values; and the SD card made on the first run holds a
# sample tag that is what reading the example tag in the field saves.
#
#     tests/cli/cli_test.sh build/sim/fsim
set -u

fsim=${1:?usage: cli_test.sh path/to/fsim}
fsim=$(cd "$(dirname "$fsim")" && pwd)/$(basename "$fsim")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# refused "ARGS" "PIECE OF THE MESSAGE"
refused() {
    local args=$1 piece=$2 code
    eval "\"$fsim\" $args" >"$work/out" 2>"$work/err"
    code=$?
    if [[ $code -ne 2 ]]; then
        fail "fsim $args: exit $code, not 2"
    elif [[ $(wc -l <"$work/err") -ne 1 ]]; then
        fail "fsim $args: not one line: $(cat "$work/err")"
    elif ! grep -qF -- "$piece" "$work/err"; then
        fail "fsim $args: '$(cat "$work/err")' does not say '$piece'"
    fi
}

refused "corvane --speed abc" "--speed: 'abc' is not a number"
refused "corvane --speed 5000" "--speed: 5000 is outside 0.01 to 1000"
refused "pacewick --seed -3" "--seed: -3 is outside 0"
refused "pacewick --seconds x" "--seconds: 'x' is not a number"
refused "corvane --sepd 2" "--sepd: no such option; did you mean --speed?"
refused "pacewick --tlit 5" "--tlit: no such option; did you mean --tilt?"
refused "corvane --no-tags --tag 3000" "--no-tags do not go together"
echo "- epc: 3000" >"$work/tags.yaml"
refused "module --pty --no-tags --tags $work/tags.yaml" "do not go together"
refused "corvane --sd ''" "--sd: an empty value"
refused "corvane --web ::1" "an IPv6 host goes in brackets"
refused "module --pty --tag ''" "--tag: an empty value"
refused "corvane --sd $work/none/sd" "there is no folder $work/none to put it in"
refused "corvane --screenshots /none-$$/shots" "there is no folder /none-$$ to put it in"
refused "pacewick --png /none-$$/dir/walk.png" "there is no folder /none-$$/dir to put it in"
[[ -e /none-$$ ]] && fail "a folder was made at /none-$$" && rm -rf "/none-$$"
[[ -e "$work/none" ]] && fail "a folder was made at $work/none"

"$fsim" corvane --help >"$work/help"
grep -qE -- "--speed N " "$work/help" || fail "fsim corvane --help shows no '--speed N'"
grep -qE -- "--screenshots DIR " "$work/help" || fail "fsim corvane --help shows no '--screenshots DIR'"

# The first run's sample tag is what reading the example tag saves.
cat >"$work/read.yaml" <<'YAML'
name: read the example tag
version: 1
app: corvane
steps:
  - expect-text: {text: Module Info, timeout: 3000}
  - press: right
  - press: ok
  - expect-text: {text: Read Success, timeout: 5000}
  - press: right
  - press: ok
  - type: {text: read, save: true}
  - expect-text: Saved!
YAML
"$fsim" corvane --sd "$work/card" --scenario "$work/read.yaml" >"$work/out" 2>"$work/err" ||
    fail "reading the example tag: $(cat "$work/out" "$work/err")"
data="$work/card/apps_data/corvane"
cmp -s "$data/Sample.uhf" "$data/Read.uhf" ||
    fail "Sample.uhf is not what reading the example tag saves: $(diff "$data/Sample.uhf" "$data/Read.uhf")"

if [[ $failures -ne 0 ]]; then
    echo "$failures failed"
    exit 1
fi
echo "PASS"
