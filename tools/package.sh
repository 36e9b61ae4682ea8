#!/usr/bin/env bash
# Builds the installable packages (.fap) of both apps for each firmware API we support, from the
# same sources: compile and link through tools/device_build.sh --package, then add the manifest
# and strip the package as the platform's build tool does, and check each with tools/fapinfo.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: tools/package.sh [options]

Writes DIR/<API>/corvane.fap and DIR/<API>/pacewick.fap for each firmware API, with
the unstripped linked ELF beside each as DIR/<API>/<appid>_d.elf (for an emulator
or a debugger: function names and source lines).

  API    SDK headers                                   loads on
  36.0   platform/include, C++17                       dev builds of September 2023 only
  38.0   platform/include, C++17 (same objects)        releases 0.91.x
  86.0   platform/include-86.0 + platform/include,     releases 1.3.x
         C++20 -Wundef, 16-bit Icon sizes

Per API, tools/device_build.sh --package compiles every app source with the device
flags plus -mword-relocations -mlong-calls -fno-common -nostdlib, compiles the app's
images into it (tools/fap_assets.py), links it relocatable with tools/fap.ld, and
checks that the firmware's table (tools/api_symbols-<API>.csv) exports every symbol the
linked package imports. Then the 85-byte .fapmeta manifest is made from the app's
application.fam (name, stack_size, fap_version, fap_icon) and that table's Version
row, added with objcopy, and debug info and unneeded symbols are stripped. Last,
tools/fapinfo checks every package as the firmware's loader would.

Objects are kept in the build folder and reused when the sources, headers and flags
are unchanged; 36.0 and 38.0 share them. Compiles run in parallel.

Options:
      --api API   build for this API only: 36.0, 38.0 or 86.0 (default: all three;
                  give it again for another)
  -o, --out DIR   where the packages go (default: dist in the repository)
  -b, --build DIR build folder for objects and links (default: build-package)
  -j, --jobs N    parallel compiles (default: 2)
      --if-stale  leave an API's packages as they are when both are there and nothing
                  they are made from (the apps' folders, the SDK headers, the firmware's
                  table, the build tools) is newer; test fixtures use it, so the packages
                  test.sh has just built are not made again
  -h, --help      this text

Needs the Debian packages gcc-arm-none-eabi binutils-arm-none-eabi
libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib, and python3.
Exit status: 0 every package built and checked, 1 a build or check failed (the
others are still built), 2 bad usage or missing toolchain.
EOF
}

die_usage() { echo "package: $* (try 'tools/package.sh --help')" >&2; exit 2; }

tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$tools_dir/.." && pwd -P)
all_apis=(36.0 38.0 86.0)
apis=()
out="$root/dist"
build="$root/build-package"
jobs=2
if_stale=0

while (($#)); do
    case "$1" in
        --api)
            [[ $# -ge 2 ]] || die_usage "--api needs one of ${all_apis[*]}"
            [[ " ${all_apis[*]} " == *" $2 "* ]] || die_usage "unknown API '$2': use one of ${all_apis[*]}"
            [[ " ${apis[*]} " == *" $2 "* ]] || apis+=("$2")
            shift 2 ;;
        -o|--out) [[ $# -ge 2 ]] || die_usage "$1 needs a folder"; out=$2; shift 2 ;;
        -b|--build) [[ $# -ge 2 ]] || die_usage "$1 needs a folder"; build=$2; shift 2 ;;
        -j|--jobs) [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || die_usage "$1 needs a positive number"; jobs=$2; shift 2 ;;
        --if-stale) if_stale=1; shift ;;
        -h|--help) usage; exit 0 ;;
        *) die_usage "unknown argument '$1'" ;;
    esac
done

((${#apis[@]})) || apis=("${all_apis[@]}")

OBJCOPY=${DEVICE_OBJCOPY:-arm-none-eabi-objcopy}
for tool in "$OBJCOPY" python3; do
    command -v "$tool" >/dev/null ||
        { echo "package: $tool not found; run scripts/deps.sh (binutils-arm-none-eabi, python3)" >&2; exit 2; }
done

apps=(corvane pacewick)
mkdir -p "$out" "$build"
out=$(cd "$out" && pwd -P)
build=$(cd "$build" && pwd -P)
start=$SECONDS
status=0
built=()

# APIs that share headers and flags share a build folder, hence objects.
build_dir_of() {
    case "$1" in
        36.*|38.*) echo "$build/sdk-36" ;;
        *) echo "$build/sdk-${1%%.*}" ;;
    esac
}

# Whether API $1's packages are there, each with its _d.elf, and nothing they are made from is
# newer than the older package (a folder that gained or lost a file counts as newer).
packages_current() {
    local api=$1 app oldest=""
    for app in "${apps[@]}"; do
        [[ -f $out/$api/$app.fap && -f $out/$api/${app}_d.elf ]] || return 1
        [[ -z $oldest || $out/$api/$app.fap -ot $oldest ]] && oldest=$out/$api/$app.fap
    done
    local inputs=("${apps[@]/#/$root/}" "$root/platform/include" "$tools_dir/package.sh"
        "$tools_dir/device_build.sh" "$tools_dir/fap.ld" "$tools_dir/fap_assets.py"
        "$tools_dir/api_symbols-$api.csv")
    [[ -d $root/platform/include-$api ]] && inputs+=("$root/platform/include-$api")
    [[ -z $(find "${inputs[@]}" -newer "$oldest" -print -quit) ]]
}

for api in "${apis[@]}"; do
    echo "=== API $api"
    if ((if_stale)) && packages_current "$api"; then
        echo "   packages up to date (--if-stale): kept"
        for app in "${apps[@]}"; do built+=("$api/$app.fap"); done
        continue
    fi
    table="$tools_dir/api_symbols-$api.csv"
    # An earlier run's packages go first: a failed build must not leave them looking current.
    for app in "${apps[@]}"; do rm -f "$out/$api/$app.fap" "$out/$api/${app}_d.elf"; done
    if [[ $api == 86.* && ! -d $root/platform/include-$api ]]; then
        echo "package: API $api cannot be built from this tree: its SDK headers (platform/include-$api:" \
             "the serial API, expansion, timer priority, canvas widths, 16-bit Icon sizes) and the apps'" \
             "compile-time choice of the serial calls are not here yet" >&2
        status=1
        continue
    fi
    dir=$(build_dir_of "$api")
    rc=0
    "$tools_dir/device_build.sh" --package --sdk "$api" --api "$table" -o "$dir" -j "$jobs" \
        "${apps[@]/#/$root/}" || rc=$?
    if ((rc != 0)); then
        echo "package: API $api: the build failed (see above); no packages written for it" >&2
        ((rc == 2)) && exit 2
        status=1
        continue
    fi
    mkdir -p "$out/$api"
    for app in "${apps[@]}"; do
        appid=$(sed -n 's/^appid=//p' "$dir/$app/app.info")
        elf="$dir/$app/${appid}_d.elf"
        meta="$dir/$app/$appid.fapmeta"
        if ! python3 "$tools_dir/fap_assets.py" manifest --fam "$root/$app/application.fam" \
                --api-table "$table" --out "$meta"; then
            status=1
            continue
        fi
        if ! "$OBJCOPY" --remove-section .ARM.attributes --add-section .fapmeta="$meta" \
                --set-section-flags .fapmeta=contents,noload,readonly,data \
                --strip-debug --strip-unneeded "$elf" "$out/$api/$appid.fap"; then
            echo "package: API $api: objcopy failed on ${elf#"$root"/}" >&2
            rm -f "$out/$api/$appid.fap"
            status=1
            continue
        fi
        cp -f "$elf" "$out/$api/${appid}_d.elf"
        built+=("$api/$appid.fap")
    done
done

if ((${#built[@]})); then
    echo "=== Checking the packages as the loader would (tools/fapinfo)"
    (cd "$out" && "$tools_dir/fapinfo" --summary "${built[@]}") || status=1
fi
echo "package: ${#built[@]} package(s) in ${out#"$root"/}/ in $((SECONDS - start)) s"
exit $status
