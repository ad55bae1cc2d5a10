#!/usr/bin/env bash
# Quillmer against iconv, side by side in one run, whole processes timed by
# hyperfine: `quillmer convert --to-trad` on the Simplified man pages of
# manpages-zh concatenated against `iconv -c -f UTF-8 -t BIG5` on the same
# file, and `--to-simp` on the Traditional pages against `iconv -c -f UTF-8
# -t GBK`. iconv only changes the encoding; the target is for Quillmer, which
# also converts the script, to take no longer. Prints iconv's time over
# Quillmer's (1.0 or more: the target is met).
#
# Usage: bench/vs-iconv.sh [QUILLMER]   (default: build/quillmer)
# Environment: RUNS (minimum runs per command, default 10), MAN_ROOT.
set -euo pipefail
cd "$(dirname "$0")/.."
quillmer=${1:-build/quillmer}
man_root=${MAN_ROOT:-/usr/share/man}
runs=${RUNS:-10}

for tool in "$quillmer" iconv hyperfine jq; do
  command -v "$tool" >/dev/null || { echo "vs-iconv: $tool not found (scripts/install-deps.sh)" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for region in CN TW; do
  [ -d "$man_root/zh_$region" ] || { echo "vs-iconv: $man_root/zh_$region missing (package manpages-zh)" >&2; exit 1; }
  find "$man_root/zh_$region" -name '*.gz' -type f | LC_ALL=C sort | xargs zcat >"$tmp/$region.txt"
done

mean() { jq -r --arg c "$2" '.results[] | select(.command == $c) | .mean' "$1"; }

compare() {  # name, file, quillmer option, iconv target encoding
  local name=$1 file=$2 option=$3 encoding=$4 q i tq ti
  q="$quillmer convert $option $file"
  i="iconv -c -f UTF-8 -t $encoding $file"
  # Both must run, and Quillmer must convert, before their times mean anything.
  "$quillmer" convert "$option" "$file" >"$tmp/q.out"
  iconv -c -f UTF-8 -t "$encoding" "$file" >"$tmp/i.out" || true
  if cmp -s "$tmp/q.out" "$file"; then echo "vs-iconv: quillmer left $name unchanged" >&2; exit 1; fi
  hyperfine -N --style none --warmup 3 --min-runs "$runs" --export-json "$tmp/$name.json" \
    "$q" "$i" >/dev/null 2>"$tmp/hyperfine.err" || { cat "$tmp/hyperfine.err" >&2; exit 1; }
  tq=$(mean "$tmp/$name.json" "$q")
  ti=$(mean "$tmp/$name.json" "$i")
  awk -v n="$name" -v tq="$tq" -v ti="$ti" -v bytes="$(stat -c %s "$file")" -v e="$encoding" 'BEGIN {
    r = ti / tq
    printf "%-8s %9d bytes  quillmer %8.2f ms  iconv (to %s) %8.2f ms  ratio %5.2fx  (target >= 1: %s)\n",
      n, bytes, tq * 1000, e, ti * 1000, r, (r >= 1) ? "met" : "NOT met"
  }'
}

echo "iconv time / Quillmer time, whole processes ($(nproc) CPUs, load $(cut -d' ' -f1 /proc/loadavg)):"
compare to-trad "$tmp/CN.txt" --to-trad BIG5
compare to-simp "$tmp/TW.txt" --to-simp GBK
