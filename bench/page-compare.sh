#!/usr/bin/env bash
# Page conversion against a peer, side by side in one run: a multi-megabyte
# Simplified page declared gb2312 (made from Debian's Simplified man pages,
# manpages-zh) converted to Traditional by Quillmer (quillmer_bench, BM_Page*)
# and by opencc-js's HTMLConverter over jsdom under Node. Prints Quillmer's
# time split into parsing, walking and the engine, the peer's, and the ratio.
#
#   bench/page-compare.sh [BUILD_DIR]      (default: build)
#
# The peer's npm packages are installed into bench/node/ (pinned in its
# package-lock.json). Fails when Quillmer is less than PAGE_TARGET (5) times
# faster at parsing and converting.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
target=${PAGE_TARGET:-5}
peer_runs=${PEER_RUNS:-5}

command -v node >/dev/null || { echo "page-compare: node is missing" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[[ -f $build/build.ninja ]] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j2 quillmer_bench >"$tmp/build.log" || { cat "$tmp/build.log" >&2; exit 1; }
if [[ ! -d bench/node/node_modules/jsdom || ! -d bench/node/node_modules/opencc-js ]]; then
  (cd bench/node && npm ci --no-audit --no-fund --silent) >&2
fi

corpus=$tmp/corpus.txt
if [[ -d /usr/share/man/zh_CN ]]; then
  find /usr/share/man/zh_CN -name '*.gz' -print0 | LC_ALL=C sort -z | xargs -0 zcat >"$corpus"
  export QUILLMER_BENCH_CORPUS=$corpus
else
  echo "page-compare: manpages-zh is missing; using the built-in paragraph" >&2
fi
export QUILLMER_BENCH_PAGE=$tmp/page.html

"$build/bench/quillmer_bench" --benchmark_filter='^BM_Page' --benchmark_format=json \
  --benchmark_out="$tmp/quillmer.json" --benchmark_out_format=json >/dev/null
node bench/node/page_peer.js "$tmp/page.html" "$peer_runs" >"$tmp/peer.json"

node - "$tmp/quillmer.json" "$tmp/peer.json" "$target" <<'JS'
const fs = require('fs');
const [qFile, pFile, target] = process.argv.slice(2);
const q = {};
for (const b of JSON.parse(fs.readFileSync(qFile)).benchmarks) q[b.name.split('/')[0]] = b;
const ms = (name) => q[name].real_time;  // the benchmarks report milliseconds
const peer = JSON.parse(fs.readFileSync(pFile));
const parse = ms('BM_PageParse'), convert = ms('BM_PageConvert');
const engine = Math.min(ms('BM_PageEngine'), convert), walk = convert - engine;
const save = ms('BM_PageSerialize');
const total = parse + convert;
const pct = (x) => (100 * x / total).toFixed(1).padStart(5) + ' %';
const f = (x) => x.toFixed(1).padStart(9) + ' ms';
const mb = (q.BM_PageParse.page_bytes / 1048576).toFixed(2);
console.log(`page: ${mb} MiB, gb2312, Simplified to Traditional`);
console.log('Quillmer (parse + convert):');
console.log(`  parsing   ${f(parse)}  ${pct(parse)}`);
console.log(`  walking   ${f(walk)}  ${pct(walk)}`);
console.log(`  engine    ${f(engine)}  ${pct(engine)}`);
console.log(`  total     ${f(total)}    (saving: ${save.toFixed(1)} ms more)`);
const peerTotal = peer.parse_ms + peer.convert_ms;
console.log(`opencc-js HTMLConverter on jsdom (median of ${peer.runs}):`);
console.log(`  parsing   ${f(peer.parse_ms)}`);
console.log(`  converting${f(peer.convert_ms)}`);
console.log(`  total     ${f(peerTotal)}    (saving: ${peer.serialize_ms.toFixed(1)} ms more)`);
const ratio = peerTotal / total;
const withSave = (peerTotal + peer.serialize_ms) / (total + save);
console.log(`ratio: Quillmer is ${ratio.toFixed(1)}x faster (${withSave.toFixed(1)}x with saving; target ${target}x)`);
process.exit(ratio >= Number(target) ? 0 : 1);
JS
