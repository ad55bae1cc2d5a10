#!/usr/bin/env bash
# Accuracy against OpenCC: converts the Simplified man pages of Debian's
# manpages-zh (zh_CN) with `quillmer convert --to-trad` and with OpenCC's
# s2tw.json, and the Traditional pages (zh_TW) with `--to-simp` and tw2s.json,
# then prints the share of Han characters on which the two agree and the most
# frequent disagreements. Needs opencc and manpages-zh (scripts/install-deps.sh).
#
#   bench/accuracy.sh [BUILD_DIR]      (default: build)
#
# Fails when either direction falls below 99.9 %.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
target=${ACCURACY_TARGET:-99.9}

command -v opencc >/dev/null || { echo "accuracy: opencc is missing (scripts/install-deps.sh)" >&2; exit 1; }
for d in /usr/share/man/zh_CN /usr/share/man/zh_TW; do
  [[ -d $d ]] || { echo "accuracy: $d is missing (manpages-zh)" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 quillmer compare_conversions >"$tmp/build.log" || { cat "$tmp/build.log" >&2; exit 1; }
mkdir "$tmp/home"  # no user emendation files take part

status=0
for side in CN:--to-trad:s2tw TW:--to-simp:tw2s; do
  IFS=: read -r region option config <<<"$side"
  corpus=$tmp/$region.txt
  find "/usr/share/man/zh_$region" -name '*.gz' -print0 | LC_ALL=C sort -z | xargs -0 zcat >"$corpus"
  QUILLMER_HOME=$tmp/home "$build/quillmer" convert "$option" --from utf-8 -o "$corpus.ours" "$corpus"
  opencc -c "$config.json" -i "$corpus" -o "$corpus.opencc"
  "$build/tools/compare_conversions" "$option" --min "$target" "$corpus" "$corpus.ours" \
    "$corpus.opencc" || status=1
done
exit $status
