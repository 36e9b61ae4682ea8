#!/usr/bin/env bash
# Smoke test of tools/device_build.sh and tools/footprint.sh on throwaway apps: code the device
# cannot run must be refused, and good code must pass with a sensible report.
# usage: tools/test_device_build.sh   (needs the arm-none-eabi toolchain; cleans up after itself)
set -euo pipefail

tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$tools_dir/.." && pwd -P)
work=$(mktemp -d "${TMPDIR:-/tmp}/device_build_test.XXXXXX")
trap 'rm -rf "$work"' EXIT

passed=0
failed=0

# new_app NAME ENTRY STACK: an app folder with a manifest; sources are added by the caller.
new_app() {
    mkdir -p "$work/$1"
    cat >"$work/$1/application.fam" <<EOF
App(
    appid="$1",
    name="Test $1",
    apptype=FlipperAppType.EXTERNAL,
    entry_point="$2",
    stack_size=$3,
)
EOF
}

# check NAME WANT_STATUS PATTERN [extra device_build args...]: builds app NAME alone and checks
# the exit status and that the combined output matches the extended regex PATTERN.
check() {
    local name=$1 want=$2 pattern=$3 status=0
    shift 3
    "$tools_dir/device_build.sh" -o "$work/out" "$@" "$work/$name" >"$work/$name.log" 2>&1 ||
        status=$?
    if [[ $status == "$want" ]] && grep -Eq -- "$pattern" "$work/$name.log"; then
        echo "ok - $name"
        passed=$((passed + 1))
    else
        echo "FAIL - $name: exit $status (want $want), output should match /$pattern/:"
        sed 's/^/    /' "$work/$name.log"
        failed=$((failed + 1))
    fi
}

# A good app: C and C++ units, icons (one with '-' in its name), exported calls only.
new_app good good_main "2 * 1024"
mkdir -p "$work/good/images"
: >"$work/good/images/tag_10x10.png"
: >"$work/good/images/read-wave_59x48.png"
cat >"$work/good/good.cpp" <<'EOF'
#include <furi.h>
#include <toolbox/name_generator.h>
#include <good_icons.h>
#include "helper.h"

extern "C" int32_t good_main(void* p) {
    (void)p;
    char name[22];
    name_generator_make_random(name, sizeof name);
    char* copy = static_cast<char*>(malloc(sizeof name));
    snprintf(copy, sizeof name, "%s", name);
    const Icon* icons[] = {&I_tag_10x10, &I_read_wave_59x48};
    free(copy);
    return helper_twice(icons[0] != icons[1]);
}
EOF
cat >"$work/good/helper.h" <<'EOF'
#pragma once
#include <stdint.h>
#ifdef __cplusplus
extern "C" {
#endif
int32_t helper_twice(int32_t v);
#ifdef __cplusplus
}
#endif
EOF
cat >"$work/good/helper.c" <<'EOF'
#include "helper.h"
int32_t helper_twice(int32_t v) { return v * 2; }
EOF
check good 0 "good \\(appid good\\): 2 source"
if grep -q 'extern const Icon I_read_wave_59x48;' "$work/out/good/good_icons.h" &&
   grep -q 'extern const Icon I_tag_10x10;' "$work/out/good/good_icons.h"; then
    echo "ok - icons header"; passed=$((passed + 1))
else
    echo "FAIL - icons header:"; cat "$work/out/good/good_icons.h" || true; failed=$((failed + 1))
fi
check good 0 "good_main +2048 +[0-9]+ +[0-9]+% +ok +good_main" --report

# Each of these must be refused, naming what is wrong.
new_app uses_new uses_new_main 1024
cat >"$work/uses_new/alloc.cpp" <<'EOF'
#include <stdint.h>
int* kept;  // escapes, so the compiler cannot drop the allocation
extern "C" int32_t uses_new_main(void*) {
    kept = new int(3);
    return *kept;
}
EOF
check uses_new 1 "_Znwj \(operator new\(unsigned int\)\) needed by alloc.cpp: use malloc/free"

new_app throws throws_main 1024
cat >"$work/throws/throw.cpp" <<'EOF'
#include <stdint.h>
extern "C" int32_t throws_main(void* p) {
    try {
        if(p) throw 1;
    } catch(int e) {
        return e;
    }
    return 0;
}
EOF
check throws 1 "exception handling disabled"

new_app rtti rtti_main 1024
cat >"$work/rtti/rtti.cpp" <<'EOF'
#include <stdint.h>
#include <typeinfo>
struct Base { virtual ~Base() = default; };
extern "C" int32_t rtti_main(void* p) {
    return typeid(*static_cast<Base*>(p)) == typeid(Base);
}
EOF
check rtti 1 "typeid.*-fno-rtti|-fno-rtti.*typeid"

new_app host_header host_header_main 1024
cat >"$work/host_header/host.cpp" <<EOF
#include <stdint.h>
#include "$root/platform/host/include/host/time.h"
extern "C" int32_t host_header_main(void*) { return static_cast<int32_t>(host::kCpuHz >> 20); }
EOF
check host_header 1 "includes host-only header platform/host/include/host/time.h"

new_app not_exported not_exported_main 1024
cat >"$work/not_exported/calls.c" <<'EOF'
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
/* The old name generator: no header offers it any more, an old copy of one might. */
void set_random_name(char* name, uint8_t max_name_size);
int32_t not_exported_main(void* p) {
    char name[16];
    set_random_name(name, sizeof name);
    int* zeroed = calloc(4, sizeof(int));
    printf("%s %p\n", name, p);
    int32_t v = zeroed[0];
    free(zeroed);
    return v;
}
EOF
check not_exported 1 "calloc needed by calls.c"
grep -q "set_random_name needed by calls.c: removed at API 36.0" "$work/not_exported.log" &&
    grep -Eq "(printf|puts) needed by calls.c" "$work/not_exported.log" &&
    { echo "ok - every missing symbol named"; passed=$((passed + 1)); } ||
    { echo "FAIL - every missing symbol named"; failed=$((failed + 1)); }

new_app warns warns_main 1024
cat >"$work/warns/warn.cpp" <<'EOF'
#include <stdint.h>
extern "C" int32_t warns_main(void*) {
    int unused = 1;
    return 0;
}
EOF
check warns 1 "unused variable .*-Werror"

# A package imports what the libraries it links need too: libgcc's unwinder passes the objects'
# check (libgcc is linked in) but needs the C++ runtime, which the firmware does not export.
new_app unwinds unwinds_main 1024
cat >"$work/unwinds/unwind.c" <<'EOF'
#include <stdint.h>
int _Unwind_Backtrace(int (*trace)(void*, void*), void* context);
static int step(void* context, void* count) { (void)context; return ++*(int*)count > 4; }
int32_t unwinds_main(void* p) { int count = 0; _Unwind_Backtrace(step, &count); return p ? count : 0; }
EOF
check unwinds 0 "compiled cleanly"
check unwinds 1 "__cxa_begin_cleanup needed by libgcc\\.a\\(unwind-arm\\.o\\): C\\+\\+ runtime support" --package

# A frame beyond the manifest's budget fails the report (and only the report).
new_app deep deep_main "1 * 1024"
cat >"$work/deep/deep.cpp" <<'EOF'
#include <stdint.h>
#include <string.h>
static int32_t __attribute__((noinline)) fill(uint8_t seed) {
    volatile uint8_t block[1500];
    memset((void*)block, seed, sizeof block);
    return block[seed];
}
extern "C" int32_t deep_main(void* p) { return fill(static_cast<uint8_t>(reinterpret_cast<uintptr_t>(p))); }
// A thread entry with C++ linkage, as a worker's often is; the thread table names it plainly.
int32_t deep_worker(void* p) { return fill(static_cast<uint8_t>(reinterpret_cast<uintptr_t>(p) >> 8)) + 1; }
EOF
check deep 0 "compiled cleanly"
check deep 1 "deep_main +1024 +15[0-9][0-9] .*OVER BUDGET +deep_main > fill" --report
printf 'deep  deep_worker  4096\n' >"$work/threads.txt"
status=0
"$tools_dir/footprint.sh" -o "$work/out" -t "$work/threads.txt" deep >"$work/threads.log" 2>&1 || status=$?
if [[ $status == 1 ]] && grep -Eq "deep_worker +4096 +15[0-9][0-9] +[0-9]+% +ok +deep_worker > fill" "$work/threads.log"; then
    echo "ok - thread table"; passed=$((passed + 1))
else
    echo "FAIL - thread table: exit $status (want 1, deep_main is over budget)"
    sed 's/^/    /' "$work/threads.log"; failed=$((failed + 1))
fi

# An app with no sources yet is reported as empty, not an error.
new_app empty empty_main 1024
check empty 0 "empty: no sources yet" --report

# Usage.
# The whole help is read first: grep -q leaving early would break the pipe under pipefail.
help=$("$tools_dir/device_build.sh" --help)
if grep -q "^Usage: tools/device_build.sh" <<<"$help"; then
    echo "ok - help"; passed=$((passed + 1))
else
    echo "FAIL - help"; failed=$((failed + 1))
fi
status=0
"$tools_dir/device_build.sh" --no-such-option >/dev/null 2>&1 || status=$?
if [[ $status == 2 ]]; then
    echo "ok - bad option"; passed=$((passed + 1))
else
    echo "FAIL - bad option: exit $status (want 2)"; failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
((failed == 0))
