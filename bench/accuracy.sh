#!/usr/bin/env bash
# Accuracy against OpenCC 1.4.2, as opencc-js 1.4.2 converts under Node (cn to
# tw, tw to cn), with Debian's opencc (s2tw.json, tw2s.json) as a second
# column:
#   1. the Simplified man pages of Debian's manpages-zh (zh_CN) with
#      `quillmer convert --to-trad`, the Traditional ones (zh_TW) with
#      `--to-simp`;
#   2. every OpenCC phrase converted on its own: the keys of STPhrases to
#      Traditional, of TSPhrases and TWVariantsRevPhrases to Simplified (words
#      the source code page cannot write whole are left out and counted).
# Prints the share of Han characters on which Quillmer and each reference
# agree, with the most frequent disagreements with opencc-js.
#
#   bench/accuracy.sh [--dicts DIR] [BUILD_DIR]      (default: build)
#
# --dicts names OpenCC 1.4.2's data/dictionary folder; without it the package
# is fetched by tools/fetch-opencc-dicts.sh. opencc-js is installed into
# bench/node/ from its package-lock.json. Fails when an agreement with
# opencc-js falls below ACCURACY_TARGET (99.99) on the man pages or
# PHRASE_TARGET (99.98) on the phrases.
set -euo pipefail
cd "$(dirname "$0")/.."
dicts_dir=
if [[ ${1:-} == --dicts ]]; then
  dicts_dir=$(realpath "$2")
  shift 2
fi
build=${1:-build}
target=${ACCURACY_TARGET:-99.99}
phrase_target=${PHRASE_TARGET:-99.98}

command -v node >/dev/null || { echo "accuracy: node is missing" >&2; exit 1; }
for d in /usr/share/man/zh_CN /usr/share/man/zh_TW; do
  [[ -d $d ]] || { echo "accuracy: $d is missing (manpages-zh)" >&2; exit 1; }
done
debian=1
command -v opencc >/dev/null || { debian=0; echo "accuracy: opencc is missing; no second column" >&2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 quillmer compare_conversions >"$tmp/build.log" || { cat "$tmp/build.log" >&2; exit 1; }
if [[ ! -d bench/node/node_modules/opencc-js ]]; then
  (cd bench/node && npm ci --no-audit --no-fund --silent) >&2
fi
[[ -n $dicts_dir ]] || dicts_dir=$(tools/fetch-opencc-dicts.sh "$tmp")
mkdir "$tmp/home"  # no user emendation files take part
debian_version=$(dpkg-query -W -f '${Version}' opencc 2>/dev/null || echo "?")

# compare TITLE MIN DIRECTION SOURCE [OPTION...]
compare() {
  local title=$1 min=$2 option=$3 corpus=$4 from to config
  shift 4
  if [[ $option == --to-trad ]]; then from=cn to=tw config=s2tw; else from=tw to=cn config=tw2s; fi
  QUILLMER_HOME=$tmp/home "$build/quillmer" convert "$option" --from utf-8 -o "$corpus.ours" "$corpus"
  node bench/node/convert_peer.js "$from" "$to" "$corpus" "$corpus.js"
  local refs=("opencc-js 1.4.2=$corpus.js")
  if ((debian)); then
    opencc -c "$config.json" -i "$corpus" -o "$corpus.deb"
    refs+=("opencc ${debian_version%%+*}=$corpus.deb")
  fi
  "$build/tools/compare_conversions" "$option" --min "$min" --title "$title" "$@" "$corpus" \
    "$corpus.ours" "${refs[@]}"
}

keys() { for f in "$@"; do grep -v -e '^#' -e '^$' "$dicts_dir/$f.txt" | cut -f1; done; }

status=0
for region in CN TW; do
  find "/usr/share/man/zh_$region" -name '*.gz' -print0 | LC_ALL=C sort -z | xargs -0 zcat >"$tmp/$region.txt"
done
compare "man pages (zh_CN)" "$target" --to-trad "$tmp/CN.txt" || status=1
compare "man pages (zh_TW)" "$target" --to-simp "$tmp/TW.txt" || status=1
keys STPhrases >"$tmp/st.txt"
keys TSPhrases TWVariantsRevPhrases >"$tmp/ts.txt"
# A word with a character the source code page lacks never reaches the tables
# whole: those are left out and counted.
compare "each STPhrases word alone" "$phrase_target" --to-trad "$tmp/st.txt" --held-lines ||
  status=1
compare "each TSPhrases and TWVariantsRevPhrases word alone" "$phrase_target" --to-simp \
  "$tmp/ts.txt" --held-lines || status=1
exit $status
