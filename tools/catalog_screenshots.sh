#!/usr/bin/env bash
# Makes the app catalog's screenshots (<app>/.catalog/screenshots/*.png, 512x256) by playing the
# sample scenarios headless, so the pictures are what the apps draw.
#
#   tools/catalog_screenshots.sh [--fsim PATH] [--check]
#
# --check compares instead of copying: exit 1 when a catalog picture differs from what the
# scenarios draw now (run without --check to refresh them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fsim=$root/build/sim/fsim
check=0
while (($#)); do
    case $1 in
        --fsim) fsim=$2; shift 2 ;;
        --check) check=1; shift ;;
        -h | --help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "catalog_screenshots: unknown option '$1' (try --help)" >&2; exit 2 ;;
    esac
done
[[ -x $fsim ]] || { echo "catalog_screenshots: no fsim at $fsim (build first: scripts/build.sh build)" >&2; exit 2; }

# <app> <picture> for each catalog screenshot, in the order the catalog shows them.
pictures=(
    "corvane corvane-module-info"
    "corvane corvane-start-menu"
    "corvane corvane-reading"
    "corvane corvane-read-result"
    "corvane corvane-saved-list"
    "corvane corvane-tag-view"
    "corvane corvane-write-success"
    "pacewick pacewick-counting"
)

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
for scenario in "$root"/sim/scenarios/*.yaml; do
    name=$(basename "$scenario" .yaml)
    app=${name%%-*}
    extra=()
    [[ $app == corvane ]] && extra=(--no-tags)
    "$fsim" "$app" "${extra[@]}" --scenario "$scenario" --screenshots "$shots" >/dev/null
done

status=0
for entry in "${pictures[@]}"; do
    read -r app picture <<<"$entry"
    target=$root/$app/.catalog/screenshots/$picture.png
    if ((check)); then
        if ! cmp -s "$shots/$picture.png" "$target"; then
            echo "catalog_screenshots: $app/.catalog/screenshots/$picture.png is not what the app draws now (refresh: tools/catalog_screenshots.sh)" >&2
            status=1
        fi
    else
        mkdir -p "$(dirname "$target")"
        cp "$shots/$picture.png" "$target"
        echo "$app/.catalog/screenshots/$picture.png"
    fi
done
exit $status
