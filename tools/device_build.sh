#!/usr/bin/env bash
# Cross-compiles the device apps for the Flipper Zero's Cortex-M4 with the platform build tool's
# exact flags, then checks that every symbol an app needs is one the firmware exports. With
# --package it also links each app as the firmware's loader wants it (tools/package.sh wraps it).
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
      --sdk API    the SDK to build against: 36.0 (default) or 38.0 (platform/include,
                   -std=c++17), 86.0 (platform/include-86.0 before platform/include,
                   -std=c++20 -Wundef); also picks the table tools/api_symbols-API.csv
      --api FILE   firmware symbol table (default: the --sdk one)
      --package    also build what a package holds: add the package-only flags
                   -mword-relocations -mlong-calls -fno-common -nostdlib (and -g), compile the
                   icons (<appid>_icons.c), link <appid>_d.elf (relocatable, tools/fap.ld,
                   entry from application.fam, with libm, libgcc, libstdc++ and
                   libsupc++ of newlib-nano) and check its undefined symbols, which the
                   loader must all find in the table
      --report     print the footprint report (tools/footprint.sh) after a good build
  -h, --help       this text

Output per app in DIR/<app>/: obj/ (objects with .su/.ci/.d beside them), the generated
<appid>_icons.h, app.info (what the footprint report reads) and undefined.txt (with
--package: the linked package's undefined symbols; also <appid>_d.elf and <appid>.map).
Objects are reused when their source, its headers and the flags are unchanged.
Exit status: 0 good, 1 build/header/symbol failure (or a stack budget exceeded with
--report), 2 bad usage, missing toolchain or missing SDK headers.
EOF
}

die_usage() { echo "device_build: $*" >&2; echo "Try 'tools/device_build.sh --help'." >&2; exit 2; }

tools_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$tools_dir/.." && pwd -P)
out="$root/build-device"
max_jobs=2
api_csv=""
sdk=36.0
package=0
report=0
apps=()

while (($#)); do
    case "$1" in
        -o|--out) [[ $# -ge 2 ]] || die_usage "$1 needs a folder"; out=$2; shift 2 ;;
        -j|--jobs) [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || die_usage "$1 needs a positive number"; max_jobs=$2; shift 2 ;;
        --api) [[ $# -ge 2 ]] || die_usage "$1 needs a file"; api_csv=$2; shift 2 ;;
        --sdk) [[ $# -ge 2 ]] || die_usage "$1 needs an API version"; sdk=$2; shift 2 ;;
        --package) package=1; shift ;;
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
tools=("$CC" "$CXX" "$NM" "$CXXFILT")
((package)) && tools+=(python3)
for tool in "${tools[@]}"; do
    if ! command -v "$tool" >/dev/null; then
        echo "device_build: $tool not found; install the Debian packages gcc-arm-none-eabi" \
             "binutils-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib" >&2
        exit 2
    fi
done

# What differs between the SDKs we build against: header folders (searched in this order), the
# C++ standard, and sizeof(Icon.width) for the generated icons. 36.x and 38.0 share the headers.
sdk_include="$root/platform/include"
case "$sdk" in
    36.0|36.1|38.0)
        sdk_includes=("$sdk_include") std_flags=(-std=c++17) extra_warnings=() icon_size_bytes=1 ;;
    86.0)
        sdk_includes=("$root/platform/include-$sdk" "$sdk_include") std_flags=(-std=c++20)
        extra_warnings=(-Wundef) icon_size_bytes=2
        if [[ ! -d ${sdk_includes[0]} ]]; then
            echo "device_build: API $sdk needs its SDK headers in platform/include-$sdk (the 86.0 serial," \
                 "expansion, timer, canvas and Icon declarations), which this tree does not have" >&2
            exit 2
        fi ;;
    *) die_usage "unknown SDK '$sdk' (36.0, 38.0 or 86.0)" ;;
esac
[[ -n $api_csv ]] || api_csv="$tools_dir/api_symbols-$sdk.csv"
[[ -r $api_csv ]] || die_usage "cannot read the symbol table '$api_csv'"

mkdir -p "$out"
out=$(cd "$out" && pwd -P)

# The platform build tool's flags (see docs/device-build.md).
arch_flags=(-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16)
common_flags=("${arch_flags[@]}" -Wall -Wextra -Werror -Wredundant-decls -Wdouble-promotion
    "${extra_warnings[@]}" -fdata-sections -ffunction-sections -fsingle-precision-constant
    -fno-math-errno -fstack-usage -Os)
# What the build tool adds for a package: calls into the firmware need no stubs at load time.
package_flags=(-mword-relocations -mlong-calls -fno-common -nostdlib)
# A package also carries debug info in its linked ELF (<appid>_d.elf: function names and source
# lines for a debugger or an emulator; the .fap is stripped), with the sources named relative to
# the repository (an emulator finds them from there) and no path of this machine in the code.
((package)) && common_flags+=("${package_flags[@]}" -g "-ffile-prefix-map=$root/=")
cxx_flags=("${std_flags[@]}" -fno-rtti -fno-exceptions -fno-use-cxa-atexit -fno-threadsafe-statics)
c_flags=(-std=gnu17)
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

# Symbols the firmware exports (what a linked package may leave undefined), and those an app's
# objects may leave undefined: the exports and what the package links statically from libgcc
# and libm (compiler helpers, math). libc, libstdc++ and libsupc++ are not in it: their symbols
# must be exported by the firmware or they do not resolve at load time.
exported_symbols="$out/.exported-symbols"
allowed_symbols="$out/.allowed-symbols"
libgcc=$("$CC" "${arch_flags[@]}" -print-libgcc-file-name)
libm=$("$CC" "${arch_flags[@]}" -print-file-name=libm.a)
stamp="$(realpath "$api_csv") $(stat -c %s-%Y "$api_csv") $libgcc $libm"
if [[ ! -f $allowed_symbols.stamp || $(<"$allowed_symbols.stamp") != "$stamp" ]]; then
    awk -F, '($1 == "Function" || $1 == "Variable") && $2 == "+" { print $3 }' "$api_csv" |
        sort -u >"$exported_symbols"
    {
        cat "$exported_symbols"
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
        name_generator_make_random) echo "new at API 36.0: older firmware has set_random_name" ;;
        furi_hal_uart_*|furi_hal_console_disable|furi_hal_console_enable)
            echo "removed at API 86.0: the serial API (furi_hal_serial_control_acquire, ...) replaces it" ;;
        furi_hal_serial_*|expansion_*|furi_timer_set_thread_priority)
            echo "new at API 86.0: build against that SDK (--sdk 86.0) only" ;;
        xTaskGetHandle|vTaskPrioritySet) echo "removed at API 86.0: use furi_timer_set_thread_priority" ;;
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

# Writes <appid>_icons.h for the PNGs of an app's image folder (only when its text changes, so
# objects that include it are reused), and the icon names in <header>.names.
generate_icons_header() {
    local images=$1 header=$2 png name ident
    : >"$header.names"
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
    } >"$header.new"
    if cmp -s "$header.new" "$header"; then rm -f "$header.new"; else mv -f "$header.new" "$header"; fi
}

# The files a dependency file names (the object's source and headers), one a line.
dependencies() {
    sed -e 's/\\$//' "$1" | tr ' ' '\n' | tail -n +2 | grep -v -e '^$' -e ':$' | sort -u
}

# Fails when a dependency file names a header outside the allowed folders.
check_includes() {
    local dep=$1 src=$2 app_dir=$3 app_out=$4 status=0 real ok dir
    while read -r real; do
        ok=0
        for dir in "${sdk_includes[@]}" "$app_dir" "$app_out" "${allowed_include_dirs[@]}"; do
            if [[ $real == "$dir"/* ]]; then ok=1; break; fi
        done
        if ((!ok)); then
            if [[ $real == "$root/platform/host/"* ]]; then
                echo "  ${src#"$root"/}: includes host-only header ${real#"$root"/}" >&2
            else
                echo "  ${src#"$root"/}: includes $real, which is not in ${sdk_includes[*]#"$root"/}, the app or the device toolchain" >&2
            fi
            status=1
        fi
    done < <(dependencies "$dep" | (cd "$(dirname "$src")" && xargs -r realpath -m --))
    return $status
}

# Of the objects given, those to compile: missing, or older than their source or a header they
# were built from (as their dependency files say).
stale_objects() {
    local obj file
    local -A stale=()
    for obj in "$@"; do
        [[ -f $obj && -f ${obj%.o}.d ]] || stale[$obj]=1
    done
    while read -r obj file; do
        [[ -n ${stale[$obj]+set} ]] && continue
        [[ -e $file && ! $file -nt $obj ]] || stale[$obj]=1
    done < <(for obj in "$@"; do [[ -f ${obj%.o}.d ]] && echo "$obj ${obj%.o}.d"; done |
             awk '{ obj = $1; while ((getline line < $2) > 0) {
                        gsub(/\\$/, "", line); n = split(line, f, " ")
                        for (i = 1; i <= n; i++) if (f[i] !~ /:$/) print obj, f[i]
                    } close($2) }')
    for obj in "$@"; do [[ -n ${stale[$obj]+set} ]] && echo "$obj"; done
    return 0
}

# The compile command of a source, less the file names.
compile_command() {
    local src=$1 app_dir=$2 app_out=$3 dir
    case "$src" in
        *.cpp) printf '%s\n' "$CXX" "${cxx_flags[@]}" ;;
        *) printf '%s\n' "$CC" "${c_flags[@]}" ;;
    esac
    printf '%s\n' "${common_flags[@]}"
    for dir in "${sdk_includes[@]}" "$app_dir" "$app_out"; do printf '%s\n' -I "$dir"; done
}

compile() {
    local src=$1 obj=$2 app_dir=$3 app_out=$4
    local -a cmd
    mapfile -t cmd < <(compile_command "$src" "$app_dir" "$app_out")
    cmd+=(-MD -MF "${obj%.o}.d" -c "$src" -o "$obj")
    # From the repository's root, which the debug info then names as the build folder.
    if ! (cd "$root" && "${cmd[@]}") >"${obj%.o}.log" 2>&1; then
        rm -f "$obj"
        echo "$src" >>"$app_out/.failed"
    fi
}

# Links the package's relocatable ELF as the platform's build tool does (see docs/device-build.md).
link_package() {
    local app_out=$1 appid=$2 entry=$3
    shift 3
    "$CXX" "${arch_flags[@]}" -mlittle-endian -specs=nano.specs -specs=nosys.specs \
        -Wl,--gc-sections -n -T "$tools_dir/fap.ld" -Ur -Wl,-Ur -nostartfiles \
        "${package_flags[@]}" -Wl,--no-export-dynamic -fvisibility=hidden -Wl,-e"$entry" \
        -Wl,-Map,"$app_out/$appid.map" -Wl,--cref -Wl,--no-demangle \
        "$@" -Wl,--start-group -lm -lgcc -lstdc++ -lsupc++ -Wl,--end-group \
        -o "$app_out/${appid}_d.elf"
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
    mkdir -p "$app_out/obj"
    rm -f "$app_out/.failed" "$app_out/undefined.txt" "$app_out/${appid}_d.elf" "$app_out/$appid.map"
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
        rm -rf "$app_out/obj"
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
    else
        rm -f "$app_out/${appid}_icons.h" "$app_out/${appid}_icons.h.names"
    fi

    # Objects (and the generated icons) are reused only under the same flags, and the same
    # headers in the SDK folders: one added in a folder searched first hides another, which the
    # dependency files cannot tell.
    local flags
    flags=$({ "$CXX" --version | head -n 1; compile_command x.c "$app_dir" "$app_out";
              compile_command x.cpp "$app_dir" "$app_out"; echo "icons $icon_size_bytes";
              find "${sdk_includes[@]}" -name '*.h' | sort | cksum; } | tr '\n' ' ')
    if [[ ! -f $app_out/.flags || $(<"$app_out/.flags") != "$flags" ]]; then
        rm -rf "$app_out/obj" "$app_out/gen"
        mkdir -p "$app_out/obj"
        echo "$flags" >"$app_out/.flags"
    fi
    # (source, object) pairs: the app's sources, and with --package its icons.
    local -a srcs=() objs=()
    for rel in "${sources[@]}"; do
        srcs+=("$app_dir/$rel") objs+=("$app_out/obj/$rel.o")
    done
    if ((package)); then
        [[ -n $entry ]] || { echo "$name: a package needs entry_point=\"...\" in application.fam" >&2; return 1; }
        if [[ -d $icons_dir ]]; then
            local icons_c="$app_out/gen/${appid}_icons.c"
            # Made again when an image, the image folder or the generator is newer.
            if [[ ! -f $icons_c || -n $(find "$icons_dir" "$tools_dir/fap_assets.py" -maxdepth 1 \
                    -newer "$icons_c" -print -quit) ]]; then
                python3 "$tools_dir/fap_assets.py" icons --appid "$appid" --out "$app_out/gen" \
                    --size-bytes "$icon_size_bytes" "$icons_dir" || return 1
                touch "$icons_c"
            fi
            srcs+=("$icons_c") objs+=("$app_out/obj/gen/${appid}_icons.c.o")
        fi
    fi

    # Objects of sources gone are dropped.
    printf '%s\n' "${objs[@]}" | sort >"$app_out/.objects"
    while read -r obj; do
        rm -f "$obj" "${obj%.o}".{d,su,ci,log}
    done < <(find "$app_out/obj" -name '*.o' | sort | comm -23 - "$app_out/.objects")

    local i
    local -A to_compile=()
    while read -r obj; do to_compile[$obj]=1; done < <(stale_objects "${objs[@]}")
    for i in "${!srcs[@]}"; do
        obj=${objs[i]}
        [[ -n ${to_compile[$obj]+set} ]] || continue
        mkdir -p "$(dirname "$obj")"
        compile "${srcs[i]}" "$obj" "$app_dir" "$app_out" &
        while (($(jobs -rp | wc -l) >= max_jobs)); do wait -n || true; done
    done
    wait
    ((${#to_compile[@]} == ${#srcs[@]})) ||
        echo "   ${#to_compile[@]} of ${#srcs[@]} compiled, the others up to date"

    local failed=0
    for obj in "${objs[@]}"; do
        if [[ -s ${obj%.o}.log ]]; then
            cat "${obj%.o}.log"
        fi
    done
    if [[ -f $app_out/.failed ]]; then
        echo "$name: $(wc -l <"$app_out/.failed") source(s) failed to compile" >&2
        return 1
    fi

    # Objects reused passed this check when they were built; one that fails is dropped, so the
    # next build checks it again.
    for i in "${!srcs[@]}"; do
        obj=${objs[i]}
        [[ -n ${to_compile[$obj]+set} ]] || continue
        check_includes "${obj%.o}.d" "${srcs[i]}" "$app_dir" "$app_out" || { failed=1; rm -f "$obj"; }
    done
    if ((failed)); then
        echo "$name: sources include headers the device build does not have" >&2
        return 1
    fi

    object_refs "$app_out" "$app_dir"
    awk '{ print $1 }' "$app_out/.refs" | sort -u | comm -23 - "$app_out/.defined" >"$app_out/undefined.txt"
    report_missing "$name" "$app_out/undefined.txt" "$allowed_symbols" "$app_out/.refs" || return 1
    if ((!package)); then
        echo "   compiled cleanly; every undefined symbol is exported by the firmware"
        return 0
    fi

    link_package "$app_out" "$appid" "$entry" "${objs[@]}" || { echo "$name: link failed" >&2; return 1; }
    # The loader resolves every undefined symbol of the package, the libraries' ones too, from
    # the table alone.
    "$NM" -u "$app_out/${appid}_d.elf" | awk '{ print $NF }' | sort -u >"$app_out/undefined.txt"
    linked_refs "$app_out/$appid.map" "$app_out" "$app_dir" >"$app_out/.refs"
    report_missing "$name" "$app_out/undefined.txt" "$exported_symbols" "$app_out/.refs" || return 1
    echo "   linked ${appid}_d.elf; the firmware (API $(api_version)) exports every symbol it imports"
}

api_version() { awk -F, '$1 == "Version" { print $3; exit }' "$api_csv"; }

# "<symbol> <source>" for every undefined reference of the app's objects into .refs, and the
# symbols they define (with the icons the header declares) into .defined.
object_refs() {
    local app_out=$1 app_dir=$2 obj src
    local -a objects
    mapfile -t objects <"$app_out/.objects"
    {
        "$NM" --defined-only "${objects[@]}" | awk 'NF == 3 { print $3 }'
        cat "$app_out"/*_icons.h.names 2>/dev/null || true
    } | sort -u >"$app_out/.defined"
    # nm -A: "<object>: U <symbol>"; the object is named by its source: "scenes/x.cpp" for the
    # app's own, "gen/<appid>_icons.c" for the generated one.
    "$NM" -A -u "${objects[@]}" | awk -v obj="$app_out/obj/" '{
        file = $1; sub(/:$/, "", file); sub(/\.o$/, "", file)
        if (index(file, obj) == 1) file = substr(file, length(obj) + 1)
        print $NF, file }' | sort -u >"$app_out/.refs"
}

# "<symbol> <source or library member>" for every reference in a link map's cross reference table
# (ld --cref --no-demangle): each symbol's line lists the file that defines it, if any, first,
# then those that refer to it; for an undefined symbol all of them refer to it.
linked_refs() {
    local map=$1 app_out=$2
    awk -v obj="$app_out/obj/" '
        /^Cross Reference Table/ { table = 1; next }
        !table || /^Symbol[[:space:]]+File/ || NF == 0 { next }
        /^[^[:space:]]/ { symbol = $1; if (NF < 2) next; file = $2 }
        /^[[:space:]]/ { file = $1 }
        {
            if (index(file, obj) == 1) { file = substr(file, length(obj) + 1); sub(/\.o$/, "", file) }
            else { sub(/^.*\//, "", file) }
            print symbol, file
        }' "$map" | sort -u
}

# Prints each undefined symbol not in the allowed list with who needs it and a hint; fails if any.
report_missing() {
    local name=$1 undefined=$2 allowed=$3 refs=$4 bad sym
    bad=$(comm -23 "$undefined" "$allowed")
    [[ -z $bad ]] && return 0
    echo "$name: symbols the firmware (API $(api_version)) does not export:" >&2
    while read -r sym; do
        printf '  %s' "$sym" >&2
        [[ $sym == _Z* ]] && printf ' (%s)' "$("$CXXFILT" "$sym")" >&2
        printf ' needed by %s: %s\n' \
            "$(awk -v s="$sym" '$1 == s { printf "%s%s", sep, $2; sep = ", " }' "$refs")" \
            "$(symbol_hint "$sym")" >&2
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
