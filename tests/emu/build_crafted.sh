#!/usr/bin/env bash
# Builds the crafted packages of tests/emu/crafted/ (each made to fault one way) for API 36.0,
# the way tools/package.sh builds the apps: OUT/<appid>.fap and OUT/<appid>_d.elf.
set -euo pipefail
out=${1:?usage: build_crafted.sh OUT}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$out/build"
apps=("$here"/crafted/*)
"$root/tools/device_build.sh" --package --sdk 36.0 --api "$root/tools/api_symbols-36.0.csv" \
    -o "$out/build" "${apps[@]}" >"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; exit 1; }
for app in "${apps[@]}"; do
    name=$(basename "$app")
    python3 "$root/tools/fap_assets.py" manifest --fam "$app/application.fam" \
        --api-table "$root/tools/api_symbols-36.0.csv" --out "$out/build/$name.fapmeta"
    arm-none-eabi-objcopy --remove-section .ARM.attributes --add-section .fapmeta="$out/build/$name.fapmeta" \
        --set-section-flags .fapmeta=contents,noload,readonly,data \
        --strip-debug --strip-unneeded "$out/build/$name/${name}_d.elf" "$out/$name.fap"
    cp -f "$out/build/$name/${name}_d.elf" "$out/${name}_d.elf"
done
