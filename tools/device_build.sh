#!/usr/bin/env bash
# Cross-compiles the device apps for the Flipper Zero's Cortex-M4 with the platform build tool's
# exact flags, then checks that every symbol an app needs is one the firmware exports.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: tools/device_build.sh [options] [APP_DIR...]

Compiles every .c and .cpp under each app folder (default: corvane pacewick) with
arm-none-eabi-gcc/g++ and the device flags, against platform/include only, and fails on:
  - any warning or compile error (exceptions and RTTI are compile errors here),
  - an #include that resolves outside platform/include, the app's own folder and
    the device toolchain's headers (e.g. platform/host/include or /usr/include),
  - an undefined symbol that the firmware does not export (api_symbols csv, rows
    marked '+') and that libgcc/libm do not provide: operator new, calloc, printf, ...

Options:
  -o, --out DIR    build folder (default: build-device in the repository)
  -j, --jobs N     parallel compiles (default: 2)
      --api FILE   firmware symbol table (default: tools/api_symbols-36.0.csv, with
                   --sdk 86.0 tools/api_symbols-86.0.csv)
      --sdk 86.0   build against the 86.0 SDK: platform/include-86.0 searched before
                   platform/include, C++20 and -Wundef (default: the 36.x SDK)
      --report     print the footprint report (tools/footprint.sh) after a good build
  -h, --help       this text

Output per app in DIR/<app>/: obj/ (objects with .su/.ci/.d beside them), the generated
<appid>_icons.h, app.info (what the footprint report reads) and undefined.txt.
Exit status: 0 good, 1 build/header/symbol failure (or a stack budget exceeded with
--report), 2 bad usage or missing toolchain.
EOF
}

die_usage() { echo "device_build: $*" >&2; echo "Try 'tools/device_build.sh --help'." >&2; exit 2; }

tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$tools_dir/.." && pwd -P)
out="$root/build-device"
max_jobs=2
api_csv=""
sdk=36
report=0
apps=()

while (($#)); do
    case "$1" in
        -o|--out) [[ $# -ge 2 ]] || die_usage "$1 needs a folder"; out=$2; shift 2 ;;
        -j|--jobs) [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || die_usage "$1 needs a positive number"; max_jobs=$2; shift 2 ;;
        --api) [[ $# -ge 2 ]] || die_usage "$1 needs a file"; api_csv=$2; shift 2 ;;
        --sdk) [[ ${2:-} == 86.0 ]] || die_usage "$1 takes 86.0 (the 36.x SDK is the default)"; sdk=86; shift 2 ;;
        --report) report=1; shift ;;
        -h|--help) usage; exit 0 ;;
        --) shift; apps+=("$@"); break ;;
        -*) die_usage "unknown option '$1'" ;;
        *) apps+=("$1"); shift ;;
    esac
done
((${#apps[@]})) || apps=("$root/corvane" "$root/pacewick")

CC=${DEVICE_CC:-arm-none-eabi-gcc}
CXX=${DEVICE_CXX:-arm-none-eabi-g++}
NM=${DEVICE_NM:-arm-none-eabi-nm}
CXXFILT=${DEVICE_CXXFILT:-arm-none-eabi-c++filt}
for tool in "$CC" "$CXX" "$NM" "$CXXFILT"; do
    if ! command -v "$tool" >/dev/null; then
        echo "device_build: $tool not found; install the Debian packages gcc-arm-none-eabi" \
             "binutils-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib" >&2
        exit 2
    fi
done
[[ -n $api_csv ]] || api_csv="$tools_dir/api_symbols-$([[ $sdk == 86 ]] && echo 86.0 || echo 36.0).csv"
[[ -r $api_csv ]] || die_usage "cannot read the symbol table '$api_csv'"

mkdir -p "$out"
out=$(cd "$out" && pwd -P)
sdk_include="$root/platform/include"
# The 86.0 SDK is the 36.x one with the headers that differ searched first.
sdk_dirs=("$sdk_include")
[[ $sdk == 86 ]] && sdk_dirs=("$root/platform/include-86.0" "$sdk_include")

# The platform build tool's flags (see docs/device-build.md).
arch_flags=(-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16)
common_flags=("${arch_flags[@]}" -Wall -Wextra -Werror -Wredundant-decls -Wdouble-promotion
    -fdata-sections -ffunction-sections -fsingle-precision-constant -fno-math-errno
    -fstack-usage -Os)
cxx_flags=(-std=c++17 -fno-rtti -fno-exceptions -fno-use-cxa-atexit -fno-threadsafe-statics)
c_flags=(-std=gnu17)
if [[ $sdk == 86 ]]; then
    cxx_flags[0]=-std=c++20
    common_flags+=(-Wundef)
fi
if echo 'int f(void){return 0;}' | "$CC" "${arch_flags[@]}" -fcallgraph-info=su -x c -c - \
        -o "$out/.probe.o" >/dev/null 2>&1; then
    common_flags+=(-fcallgraph-info=su)
fi
rm -f "$out"/.probe.*

# Header folders of the toolchain itself (newlib, libstdc++, gcc's own), as real paths.
toolchain_dirs() {
    "$1" "${arch_flags[@]}" -x "$2" -E -Wp,-v /dev/null 2>&1 >/dev/null |
        sed -n '/^#include <...> search starts here:/,/^End of search list./{/^ /p}' |
        while read -r dir; do realpath -m "$dir"; done
}
mapfile -t allowed_include_dirs < <({ toolchain_dirs "$CXX" c++; toolchain_dirs "$CC" c; } | sort -u)

# Symbols the FAP may leave undefined: the firmware's exports, and what it links statically
# from libgcc and libm (compiler helpers, math). libc, libstdc++ and libsupc++ are not in it:
# their symbols must be exported by the firmware or they do not resolve at load time.
allowed_symbols="$out/.allowed-symbols"
libgcc=$("$CC" "${arch_flags[@]}" -print-libgcc-file-name)
libm=$("$CC" "${arch_flags[@]}" -print-file-name=libm.a)
stamp="$(realpath "$api_csv") $(stat -c %s-%Y "$api_csv") $libgcc $libm"
if [[ ! -f $allowed_symbols.stamp || $(<"$allowed_symbols.stamp") != "$stamp" ]]; then
    {
        awk -F, '($1 == "Function" || $1 == "Variable") && $2 == "+" { print $3 }' "$api_csv"
        for lib in "$libgcc" "$libm"; do
            if [[ -f $lib ]]; then
                "$NM" --defined-only -g "$lib" 2>/dev/null | awk 'NF == 3 { print $3 }'
            fi
        done
    } | sort -u >"$allowed_symbols"
    echo "$stamp" >"$allowed_symbols.stamp"
fi

# Why a symbol is missing, for the ones people hit.
symbol_hint() {
    case "$1" in
        _Znw*|_Zna*|_Zdl*|_Zda*) echo "use malloc/free (zero-filled on the device), not new/delete" ;;
        calloc) echo "not exported: use malloc, which zero-fills on the device" ;;
        set_random_name) echo "removed at API 36.0: use name_generator_make_random" ;;
        printf|sprintf|vsnprintf|vsprintf|puts|putchar|fprintf) echo "not exported: use snprintf or FURI_LOG_*" ;;
        __cxa_pure_virtual) echo "pure virtual functions need the C++ runtime, which is not exported" ;;
        __cxa_*|__gxx_personality*|_Unwind_*) echo "C++ runtime support is not exported (exceptions, guards, static destructors)" ;;
        _ZTI*|_ZTS*|_ZTV*) echo "RTTI/vtable of a library class: not available on the device" ;;
        *) echo "not exported by the firmware" ;;
    esac
}

# Value of key="..." in an application.fam.
fam_string() {
    sed -n "s/^[[:space:]]*$1[[:space:]]*=[[:space:]]*\"\([^\"]*\)\".*/\1/p" "$2" | awk 'NR == 1'
}
# Value of stack_size=<integer expression> in an application.fam, evaluated.
fam_stack_size() {
    local expr
    expr=$(sed -n 's/^[[:space:]]*stack_size[[:space:]]*=[[:space:]]*\([0-9 *+]*\).*/\1/p' "$1" | awk 'NR == 1')
    [[ -n ${expr// /} ]] && echo $((expr))
    return 0
}

# Writes <appid>_icons.h for the PNGs of an app's image folder.
generate_icons_header() {
    local images=$1 header=$2 png name ident
    {
        echo "/* Generated by tools/device_build.sh from $(basename "$images")/: do not edit. */"
        echo "#pragma once"
        echo
        if [[ -f $sdk_include/gui/icon.h ]]; then
            echo "#include <gui/icon.h>"
        else
            echo "typedef struct Icon Icon;"
        fi
        echo
        echo "#ifdef __cplusplus"
        echo "extern \"C\" {"
        echo "#endif"
        echo
        while IFS= read -r -d '' png; do
            name=$(basename "$png" .png)
            ident="I_${name//-/_}"
            if [[ ! $ident =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]]; then
                echo "device_build: $png: '$name' does not make a C name (letters, digits, '_' and '-' only)" >&2
                return 1
            fi
            echo "extern const Icon $ident;"
            echo "$ident" >>"$header.names"
        done < <(find "$images" -maxdepth 1 -type f -name '*.png' -print0 | sort -z)
        echo
        echo "#ifdef __cplusplus"
        echo "}"
        echo "#endif"
    } >"$header"
}

# Fails when a dependency file names a header outside the allowed folders.
check_includes() {
    local dep=$1 src=$2 app_dir=$3 app_out=$4 status=0 real ok dir
    while read -r real; do
        ok=0
        for dir in "${sdk_dirs[@]}" "$app_dir" "$app_out" "${allowed_include_dirs[@]}"; do
            if [[ $real == "$dir"/* ]]; then ok=1; break; fi
        done
        if ((!ok)); then
            if [[ $real == "$root/platform/host/"* ]]; then
                echo "  ${src#"$root"/}: includes host-only header ${real#"$root"/}" >&2
            else
                echo "  ${src#"$root"/}: includes $real, which is not in platform/include, the app or the device toolchain" >&2
            fi
            status=1
        fi
    done < <(sed -e 's/\\$//' "$dep" | tr ' ' '\n' | tail -n +2 | grep -v -e '^$' -e ':$' |
             sort -u | (cd "$(dirname "$src")" && xargs -r realpath -m --))
    return $status
}

compile() {
    local src=$1 obj=$2 app_dir=$3 app_out=$4
    local -a cmd
    case "$src" in
        *.cpp) cmd=("$CXX" "${cxx_flags[@]}") ;;
        *) cmd=("$CC" "${c_flags[@]}") ;;
    esac
    cmd+=("${common_flags[@]}" "${sdk_dirs[@]/#/-I}" -I "$app_dir" -I "$app_out"
        -MD -MF "${obj%.o}.d" -c "$src" -o "$obj")
    if ! "${cmd[@]}" >"${obj%.o}.log" 2>&1; then
        echo "$src" >>"$app_out/.failed"
    fi
}

build_app() {
    local app_dir=$1 name appid fam entry stack app_out icons_dir src rel obj count
    app_dir=$(cd "$app_dir" && pwd -P)
    name=$(basename "$app_dir")
    fam="$app_dir/application.fam"
    appid=$name entry="" stack=""
    if [[ -f $fam ]]; then
        appid=$(fam_string appid "$fam")
        [[ -n $appid ]] || { echo "$name: application.fam has no appid=\"...\"" >&2; return 1; }
        entry=$(fam_string entry_point "$fam")
        stack=$(fam_stack_size "$fam")
    fi
    if [[ ! $appid =~ ^[a-z0-9_]+$ ]]; then
        echo "$name: appid '$appid' must match ^[a-z0-9_]+\$" >&2
        return 1
    fi

    app_out="$out/$name"
    rm -rf "$app_out"
    mkdir -p "$app_out/obj"
    mapfile -t sources < <(cd "$app_dir" && find . -type f \( -name '*.c' -o -name '*.cpp' \) \
        -not -path '*/.*' | sed 's|^\./||' | sort)
    count=${#sources[@]}
    {
        echo "name=$name"
        echo "appid=$appid"
        echo "dir=$app_dir"
        echo "entry=$entry"
        echo "stack=$stack"
        echo "sources=$count"
    } >"$app_out/app.info"

    if ((count == 0)); then
        echo "== $name: no sources (empty app)"
        return 0
    fi
    echo "== $name (appid $appid): $count source(s)"

    icons_dir="$app_dir/images"
    if [[ -f $fam ]]; then
        local assets
        assets=$(fam_string fap_icon_assets "$fam")
        [[ -n $assets ]] && icons_dir="$app_dir/$assets"
    fi
    if [[ -d $icons_dir ]]; then
        generate_icons_header "$icons_dir" "$app_out/${appid}_icons.h" || return 1
    fi

    for rel in "${sources[@]}"; do
        obj="$app_out/obj/$rel.o"
        mkdir -p "$(dirname "$obj")"
        compile "$app_dir/$rel" "$obj" "$app_dir" "$app_out" &
        while (($(jobs -rp | wc -l) >= max_jobs)); do wait -n || true; done
    done
    wait

    local failed=0
    for rel in "${sources[@]}"; do
        obj="$app_out/obj/$rel.o"
        if [[ -s ${obj%.o}.log ]]; then
            cat "${obj%.o}.log"
        fi
    done
    if [[ -f $app_out/.failed ]]; then
        echo "$name: $(wc -l <"$app_out/.failed") source(s) failed to compile" >&2
        return 1
    fi

    for rel in "${sources[@]}"; do
        obj="$app_out/obj/$rel.o"
        check_includes "${obj%.o}.d" "$app_dir/$rel" "$app_dir" "$app_out" || failed=1
    done
    if ((failed)); then
        echo "$name: sources include headers the device build does not have" >&2
        return 1
    fi

    check_symbols "$name" "$app_out" || return 1
    echo "   compiled cleanly; every undefined symbol is exported by the firmware"
}

# Undefined symbols of the app's objects, less what the app defines, must all be allowed.
check_symbols() {
    local name=$1 app_out=$2 sym hint
    local -a objects
    mapfile -t objects < <(find "$app_out/obj" -name '*.o' | sort)
    {
        "$NM" --defined-only "${objects[@]}" | awk 'NF == 3 { print $3 }'
        cat "$app_out"/*_icons.h.names 2>/dev/null || true
    } | sort -u >"$app_out/.defined"
    # "<symbol> <object>" for every undefined reference.
    for obj in "${objects[@]}"; do
        "$NM" -u "$obj" | awk -v o="${obj#"$app_out/obj/"}" '{ print $NF, o }'
    done | sort -u >"$app_out/.refs"
    awk '{ print $1 }' "$app_out/.refs" | sort -u | comm -23 - "$app_out/.defined" >"$app_out/undefined.txt"

    local bad
    bad=$(comm -23 "$app_out/undefined.txt" "$allowed_symbols")
    [[ -z $bad ]] && return 0
    echo "$name: symbols the firmware (API $(awk -F, '$1 == "Version" { print $3 }' "$api_csv")) does not export:" >&2
    while read -r sym; do
        hint=$(symbol_hint "$sym")
        printf '  %s' "$sym" >&2
        [[ $sym == _Z* ]] && printf ' (%s)' "$("$CXXFILT" "$sym")" >&2
        printf ' needed by %s: %s\n' \
            "$(awk -v s="$sym" '$1 == s { printf "%s%s", sep, $2; sep = ", " }' "$app_out/.refs")" \
            "$hint" >&2
    done <<<"$bad"
    return 1
}

status=0
for app in "${apps[@]}"; do
    [[ -d $app ]] || { echo "device_build: no app folder '$app'" >&2; status=1; continue; }
    build_app "$app" || status=1
done

if ((status == 0 && report)); then
    names=()
    for app in "${apps[@]}"; do names+=("$(basename "$(cd "$app" && pwd -P)")"); done
    "$tools_dir/footprint.sh" --out "$out" "${names[@]}" || status=$?
fi
exit $status
