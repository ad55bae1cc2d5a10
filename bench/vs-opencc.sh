#!/usr/bin/env bash
# Quillmer against OpenCC, side by side in one run, whole processes timed by
# hyperfine: `quillmer convert --to-trad FILE` and `opencc -c s2tw.json -i FILE`
# on (1) the Simplified man pages of manpages-zh concatenated (several MB of
# UTF-8) and (2) one short string. Prints OpenCC's time over Quillmer's.
#
# Usage: bench/vs-opencc.sh [QUILLMER]   (default: build/quillmer)
# Environment: RUNS (minimum runs per command, default 10), MAN_DIR.
set -euo pipefail
cd "$(dirname "$0")/.."
quillmer=${1:-build/quillmer}
man_dir=${MAN_DIR:-/usr/share/man/zh_CN}
runs=${RUNS:-10}

for tool in "$quillmer" opencc hyperfine jq; do
  command -v "$tool" >/dev/null || { echo "vs-opencc: $tool not found (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -d "$man_dir" ] || { echo "vs-opencc: $man_dir missing (package manpages-zh)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
find "$man_dir" -name '*.gz' -type f | LC_ALL=C sort | xargs zcat >"$tmp/manpages.txt"
printf '简体中文转换为繁体中文\n' >"$tmp/short.txt"

# Both must succeed and convert before their times mean anything.
for f in manpages.txt short.txt; do
  "$quillmer" convert --to-trad "$tmp/$f" >"$tmp/q.out"
  opencc -c s2tw.json -i "$tmp/$f" >"$tmp/o.out"
  if cmp -s "$tmp/q.out" "$tmp/$f"; then echo "vs-opencc: quillmer left $f unchanged" >&2; exit 1; fi
done

# Mean whole-process time in seconds of command $2 in hyperfine's JSON $1.
mean() { jq -r --arg c "$2" '.results[] | select(.command == $c) | .mean' "$1"; }

compare() {  # name, file, target ratio, what the target says
  local name=$1 file=$2 target=$3 q o
  q="$quillmer convert --to-trad $file"
  o="opencc -c s2tw.json -i $file"
  hyperfine -N --style none --warmup 3 --min-runs "$runs" --export-json "$tmp/$name.json" \
    "$q" "$o" >/dev/null 2>"$tmp/hyperfine.err" || { cat "$tmp/hyperfine.err" >&2; exit 1; }
  local tq to
  tq=$(mean "$tmp/$name.json" "$q")
  to=$(mean "$tmp/$name.json" "$o")
  awk -v n="$name" -v tq="$tq" -v to="$to" -v t="$target" -v bytes="$(stat -c %s "$file")" 'BEGIN {
    r = to / tq
    verdict = (r >= t) ? "met" : "NOT met"
    printf "%-6s %9d bytes  quillmer %9.2f ms  opencc %9.2f ms  ratio %6.1fx  (target >= %dx: %s)\n",
      n, bytes, tq * 1000, to * 1000, r, t, verdict
  }'
}

echo "OpenCC time / Quillmer time, whole processes ($(nproc) CPUs, load $(cut -d' ' -f1 /proc/loadavg)):"
compare file "$tmp/manpages.txt" 25
compare short "$tmp/short.txt" 10
