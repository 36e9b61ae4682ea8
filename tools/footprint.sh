#!/usr/bin/env bash
# Footprint of the cross-compiled apps: code/data/bss, the largest stack frames and the deepest
# stack per thread entry against its budget. Reads what tools/device_build.sh left in its folder.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: tools/footprint.sh [options] [APP...]

Reports, for each app built by tools/device_build.sh (default: every app in the
build folder):
  - code (text), data and bss, summed over the app's objects (before linking, so
    functions the linker would drop still count),
  - the ten largest stack frames (from the .su files),
  - the deepest stack path from each thread entry (from the -fcallgraph-info
    files) against its budget. Calls into the platform count as 0 bytes.

Thread entries and budgets: the manifest's entry_point with its stack_size, plus
the rows of tools/device_threads.txt (app, entry function, budget in bytes).

Options:
  -o, --out DIR       the device build folder (default: build-device in the repository)
  -t, --threads FILE  thread table (default: tools/device_threads.txt)
  -h, --help          this text

Exit status: 0, or 1 when a thread's deepest path exceeds its budget, 2 on bad usage.
EOF
}

die_usage() { echo "footprint: $*" >&2; echo "Try 'tools/footprint.sh --help'." >&2; exit 2; }

tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$tools_dir/.." && pwd -P)
out="$root/build-device"
threads="$tools_dir/device_threads.txt"
only=()

while (($#)); do
    case "$1" in
        -o|--out) [[ $# -ge 2 ]] || die_usage "$1 needs a folder"; out=$2; shift 2 ;;
        -t|--threads) [[ $# -ge 2 ]] || die_usage "$1 needs a file"; threads=$2; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        -*) die_usage "unknown option '$1'" ;;
        *) only+=("$1"); shift ;;
    esac
done
SIZE=${DEVICE_SIZE:-arm-none-eabi-size}
CXXFILT=${DEVICE_CXXFILT:-arm-none-eabi-c++filt}
command -v "$SIZE" >/dev/null || { echo "footprint: $SIZE not found (Debian package binutils-arm-none-eabi)" >&2; exit 2; }

shopt -s nullglob
if ((${#only[@]})); then
    infos=()
    for app in "${only[@]}"; do
        [[ -f $out/$app/app.info ]] || die_usage "no build of '$app' in '$out': run tools/device_build.sh first"
        infos+=("$out/$app/app.info")
    done
else
    infos=("$out"/*/app.info)
    ((${#infos[@]})) || die_usage "no app builds in '$out': run tools/device_build.sh first"
fi

info_value() { sed -n "s/^$1=//p" "$2"; }

# The (qualified) function name of a signature from a .su file: "int32_t app(void*)" -> "app".
function_name() {
    local text=${1%%(*}
    echo "${text##* }"
}

# Shortens text to at most $2 characters.
clip() {
    local text=$1 width=$2
    if ((${#text} > width)); then echo "${text:0:width-3}..."; else echo "$text"; fi
}

over_budget=0
for info in "${infos[@]}"; do
    app_out=$(dirname "$info")
    name=$(info_value name "$info")
    appid=$(info_value appid "$info")
    app_dir=$(info_value dir "$info")
    sources=$(info_value sources "$info")
    echo
    echo "== $name (appid $appid)"
    if ((sources == 0)); then
        echo "   empty: no sources yet"
        continue
    fi

    mapfile -t objects < <(find "$app_out/obj" -name '*.o' | sort)
    read -r text data bss _ < <("$SIZE" -t "${objects[@]}" | tail -n 1)
    printf '   %-12s %8d bytes\n' "code (text)" "$text" "data" "$data" "bss" "$bss"
    echo "   ($sources sources, ${#objects[@]} objects; sizes before linking)"

    echo
    echo "   Largest stack frames"
    printf '   %6s  %-15s  %-40s  %s\n' bytes kind function where
    find "$app_out/obj" -name '*.su' -exec cat {} + | sort -t $'\t' -k2,2nr -k1,1 | awk 'NR <= 10' |
        while IFS=$'\t' read -r where_what bytes kind; do
            # where_what is "<file>:<line>:<column>:<function>"
            where=$(sed -E 's/^(.*:[0-9]+):[0-9]+:.*$/\1/' <<<"$where_what")
            what=${where_what#"$where":*:}
            printf '   %6d  %-15s  %-40s  %s\n' "$bytes" "$kind" "$(clip "$(function_name "$what")" 40)" \
                "${where#"$app_dir"/}"
        done

    # Thread entries: the manifest's first, then the table's (the manifest's budget wins).
    declare -A budget=() budget_from=()
    order=()
    entry=$(info_value entry "$info")
    if [[ -n $entry ]]; then
        order+=("$entry")
        stack=$(info_value stack "$info")
        budget[$entry]=${stack:-0}
        budget_from[$entry]="application.fam"
    fi
    if [[ -f $threads ]]; then
        while read -r t_app t_entry t_budget _; do
            [[ -z ${t_app:-} || $t_app == \#* ]] && continue
            [[ $t_app == "$name" || $t_app == "$appid" ]] || continue
            if [[ -z ${budget[$t_entry]+set} ]]; then
                order+=("$t_entry")
                budget[$t_entry]=$t_budget
                budget_from[$t_entry]=$(basename "$threads")
            elif [[ ${budget[$t_entry]} == 0 ]]; then
                budget[$t_entry]=$t_budget
            fi
        done <"$threads"
    fi

    echo
    echo "   Deepest stack per thread (app frames only; platform calls count 0)"
    cis=()
    while IFS= read -r -d '' ci; do cis+=("$ci"); done < <(find "$app_out/obj" -name '*.ci' -print0 | sort -z)
    if ((${#cis[@]} == 0)); then
        echo "   call graph not available: the compiler does not support -fcallgraph-info"
        unset budget budget_from
        continue
    fi
    printf '   %-22s %7s %7s %5s  %-11s  %s\n' entry budget depth use status path
    notes=""
    while IFS=$'\037' read -r kind fn depth flags path; do
        path=$("$CXXFILT" -p <<<"$path")
        note=""
        [[ $flags == *d* ]] && note+="d"
        [[ $flags == *i* ]] && note+="i"
        [[ $flags == *r* ]] && note+="r"
        [[ -n $note ]] && notes+=$note
        if [[ $kind == root ]]; then
            printf '   %-22s %7s %7d %5s  %-11s  %s\n' "other roots" - "$depth" - \
                "${note:+lower bound}" "$path"
            continue
        fi
        limit=${budget[$fn]:-0}
        if [[ $depth == - ]]; then
            printf '   %-22s %7s %7s %5s  %-11s\n' "$fn" "$limit" - - "not present"
            continue
        fi
        if ((limit > 0)); then
            use="$((depth * 100 / limit))%"
            if ((depth > limit)); then
                status="OVER BUDGET"
                over_budget=1
            else
                status="ok"
            fi
        else
            use=- status="no budget"
        fi
        [[ -n $note ]] && status+="*"
        printf '   %-22s %7s %7d %5s  %-11s  %s\n' "$fn" "$limit" "$depth" "$use" "$status" "$path"
    done < <(awk -v entries="${order[*]}" -f "$tools_dir/stack_depth.awk" "${cis[@]}")
    if [[ -n $notes ]]; then
        echo "   * a lower bound:"
        [[ $notes == *d* ]] && echo "     - a frame on the path has an unbounded dynamic size (alloca / variable-length array)"
        [[ $notes == *i* ]] && echo "     - calls through function pointers are not followed"
        [[ $notes == *r* ]] && echo "     - the call graph has recursion; one turn of each cycle is counted"
    fi
    echo "   other roots: the deepest path from a function no app code calls: a callback the platform"
    echo "   runs (it adds to the stack of the thread running it, on top of the platform's frames)"
    echo "   or code nothing uses yet."
    unset budget budget_from
done

if ((over_budget)); then
    echo
    echo "footprint: a thread's deepest stack path exceeds its budget" >&2
    exit 1
fi
