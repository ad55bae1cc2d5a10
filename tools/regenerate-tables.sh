#!/usr/bin/env bash
# Regenerates every conversion table in resources/rcdata from the installed
# OpenCC dictionaries (Debian: opencc, libopencc-data) and the Chinese man pages
# of manpages-zh (character frequencies for detection), then checks them with
# the engine.
#
#   tools/regenerate-tables.sh [--check] [BUILD_DIR]
#
# --check writes nothing and fails when the committed tables differ from what
# the installed packages give. BUILD_DIR defaults to build-tables.
set -euo pipefail
cd "$(dirname "$0")/.."

check=()
if [[ ${1:-} == --check ]]; then
  check=(--check)
  shift
fi
build=${1:-build-tables}
dicts_dir=/usr/share/opencc
man_dir=/usr/share/man

for tool in opencc_dict cmake ninja; do
  command -v "$tool" >/dev/null || { echo "regenerate-tables: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
for region in CN TW; do
  [[ -d $man_dir/zh_$region ]] || { echo "regenerate-tables: $man_dir/zh_$region is missing (manpages-zh)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for dict in STCharacters STPhrases TSCharacters TSPhrases TWVariants TWVariantsRev \
            TWVariantsRevPhrases; do
  opencc_dict -i "$dicts_dir/$dict.ocd2" -o "$tmp/$dict.txt" -f ocd2 -t text
done
# The corpora for the detection tables, each in a fixed order.
for region in CN TW; do
  find "$man_dir/zh_$region" -name '*.gz' -print0 | LC_ALL=C sort -z | xargs -0 zcat >"$tmp/$region.txt"
done

[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 gen_tables >"$tmp/build.log" || { cat "$tmp/build.log" >&2; exit 1; }
"$build/tools/gen_tables" --dicts "$tmp" --corpus "$tmp/CN.txt" --corpus "$tmp/TW.txt" \
  --supplement tools/phrase_supplement.txt --out resources/rcdata "${check[@]}"
