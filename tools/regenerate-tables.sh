#!/usr/bin/env bash
# Regenerates every conversion table in resources/rcdata from OpenCC's text
# dictionaries (OpenCC 1.4.2, data/dictionary of its npm package `opencc`) and
# the Chinese man pages of manpages-zh (character frequencies for detection),
# then checks them with the engine.
#
#   tools/regenerate-tables.sh [--check] [--dicts DIR] [BUILD_DIR]
#
# --dicts names an unpacked data/dictionary folder; without it the package is
# fetched into a temporary folder by tools/fetch-opencc-dicts.sh, which checks
# it against its recorded digest. --check writes nothing and fails when the committed tables
# differ from what the dictionaries give. BUILD_DIR defaults to build-tables.
# Nothing but resources/rcdata/*.bin (and BUILD_DIR) is written in the tree.
set -euo pipefail
cd "$(dirname "$0")/.."

check=()
dicts_dir=
while [[ $# -gt 0 ]]; do
  case $1 in
    --check) check=(--check); shift ;;
    --dicts) [[ $# -ge 2 ]] || { echo "regenerate-tables: --dicts needs a folder" >&2; exit 2; }
             dicts_dir=$(realpath "$2"); shift 2 ;;
    -*) echo "usage: $0 [--check] [--dicts DIR] [BUILD_DIR]" >&2; exit 2 ;;
    *) break ;;
  esac
done
build=${1:-build-tables}
man_dir=/usr/share/man

for tool in cmake ninja; do
  command -v "$tool" >/dev/null || { echo "regenerate-tables: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
for region in CN TW; do
  [[ -d $man_dir/zh_$region ]] || { echo "regenerate-tables: $man_dir/zh_$region is missing (manpages-zh)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[[ -n $dicts_dir ]] || dicts_dir=$(tools/fetch-opencc-dicts.sh "$tmp")
[[ -f $dicts_dir/STPhrases.txt ]] || { echo "regenerate-tables: $dicts_dir holds no OpenCC text dictionaries" >&2; exit 1; }

# The corpora for the detection tables, each in a fixed order.
for region in CN TW; do
  find "$man_dir/zh_$region" -name '*.gz' -print0 | LC_ALL=C sort -z | xargs -0 zcat >"$tmp/$region.txt"
done

[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 gen_tables >"$tmp/build.log" || { cat "$tmp/build.log" >&2; exit 1; }
"$build/tools/gen_tables" --dicts "$dicts_dir" --corpus "$tmp/CN.txt" --corpus "$tmp/TW.txt" \
  --supplement tools/phrase_supplement.txt --out resources/rcdata "${check[@]}"
