#!/usr/bin/env bash
# Each crafted package faults one way; fsim must stop it with exit code 3 and a report naming the
# fault, the thread, the function and source line (from the _d.elf beside the package) and the
# registers, never hang or crash. A package given with the --api of another firmware is refused.
#   fault_reports.sh FSIM CRAFTED_DIR
set -uo pipefail
fsim=$1
dir=$2
status=0
# package | what the report's first line holds | where it says the fault is
cases=(
    "fault_stack|stack overflow: pacewick used more than its 1024-byte stack|descend\+0x[0-9a-f]+ \(tests/emu/crafted/fault_stack/fault_stack.c:[0-9]+\)"
    "fault_read|memory fault: read from memory outside the package's sections, its heap and its stacks|fault_read_main\+0x[0-9a-f]+ \(tests/emu/crafted/fault_read/fault_read.c:[0-9]+\)"
    "fault_unaligned|unaligned access: LDRD at the unaligned address 0x[0-9a-f]{8}|fault_unaligned_main\+0x[0-9a-f]+ \(tests/emu/crafted/fault_unaligned/fault_unaligned.c:[0-9]+\)"
    "fault_crash|furi_crash: crafted crash|fault_crash_main\+0x[0-9a-f]+ \(tests/emu/crafted/fault_crash/fault_crash.c:[0-9]+\)"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name first where <<<"$c"
    report=$(timeout 60 "$fsim" pacewick --fap "$dir/$name.fap" --seconds 1 --png "$dir/$name.png" 2>&1)
    code=$?
    problems=()
    ((code == 3)) || problems+=("exit code $code, not 3")
    grep -qE "^fsim: the package stopped: $first" <<<"$report" || problems+=("no line 'fsim: the package stopped: $first'")
    grep -qE "^  at: +$where" <<<"$report" || problems+=("no 'at:' line matching $where")
    grep -qE "^  thread: +pacewick$" <<<"$report" || problems+=("no thread line")
    grep -qE "^  registers: r0=0x[0-9a-f]{8}" <<<"$report" || problems+=("no registers")
    if ((${#problems[@]})); then
        status=1
        echo "FAIL $name:"
        printf '  %s\n' "${problems[@]}"
        sed 's/^/    | /' <<<"$report"
    else
        echo "ok   $name"
    fi
done
# A package offered with the --api of another firmware: one line saying so, exit 2.
out=$(timeout 60 "$fsim" pacewick --api 86.0 --fap "$dir/fault_crash.fap" --seconds 1 --png "$dir/x.png" 2>&1)
code=$?
if ((code == 2)) && [[ $(wc -l <<<"$out") == 1 ]] &&
    grep -qF "fault_crash.fap is a package for API 36.0: it runs on the firmware at API 36.1, and --api 86.0 asks for the firmware at 86.0" <<<"$out"; then
    echo "ok   --api 86.0 with a 36.0 package"
else
    status=1
    echo "FAIL --api 86.0 with a 36.0 package: exit $code"
    sed 's/^/    | /' <<<"$out"
fi
exit $status
