#!/usr/bin/env bash
# From load to converted page: a ~1 MB Simplified page declared gb2312 (made
# from Debian's Simplified man pages, manpages-zh), served over HTTP by
# tests/support/serve.py, loaded with AutoConvert=2 in the WebKit window
# (`quillmer browse --window --engine webkit`) and, side by side, by the
# model backend (`quillmer browse`, the same file). Each run is timed inside
# the program's script, from navigate() to its return (the page loaded and
# converted), so that starting the program and the window does not count.
# Also times the window with the conversion switched off: the engine's own
# load. Prints the median of each and the ratio.
#
#   bench/engine-load.sh [BUILD_DIR]      (default: build)
#
# Environment: RUNS (runs of each, default 5), PAGE_BYTES (default 1048576),
# SCREENSHOT=FILE.png (also saves the converted page in the window), MAN_ROOT.
# Uses $DISPLAY when set, else an Xvfb of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${RUNS:-5}
bytes=${PAGE_BYTES:-1048576}
man_root=${MAN_ROOT:-/usr/share/man}
quillmer=$build/quillmer
module=$build/Quillmer.so
toolkit=$build/libquillmer-gtk.so

for tool in "$quillmer" python3 iconv; do
  command -v "$tool" >/dev/null || { echo "engine-load: $tool not found" >&2; exit 1; }
done
[[ -f $module ]] || { echo "engine-load: $module missing (scripts/build.sh)" >&2; exit 1; }
[[ -d $man_root/zh_CN ]] || { echo "engine-load: $man_root/zh_CN missing (package manpages-zh)" >&2; exit 1; }

tmp=$(mktemp -d)
pids=()
cleanup() {
  exec 3>&- 2>/dev/null || true  # the server ends with its input
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

# The page: the man pages' text without their markup, as paragraphs, cut to
# the size in gb2312 (what gb2312 cannot hold is dropped).
mkdir -p "$tmp/web"
find "$man_root/zh_CN" -name '*.gz' -type f | LC_ALL=C sort | xargs zcat |
  iconv -c -f UTF-8 -t GB2312 >"$tmp/corpus.gb"
python3 - "$tmp/corpus.gb" "$tmp/web/page.gb2312.html" "$bytes" <<'PY'
import html, re, sys
src, dst, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(src, encoding="gb2312", errors="ignore").read()
head = ('<!DOCTYPE html>\n<html><head><meta charset="gb2312"><title>手册页</title>'
        '<style>body { font-family: "宋体", serif; }</style></head><body>\n')
tail = "</body></html>\n"
out, used = [head], len((head + tail).encode("gb2312"))
para = []
def flush():
    global used
    if not para:
        return True
    p = "<p>" + html.escape(" ".join(para)) + "</p>\n"
    para.clear()
    n = len(p.encode("gb2312"))
    if used + n > size:
        return False
    out.append(p)
    used += n
    return True
for line in text.splitlines():
    if line.startswith((".", "'\\\"", "\\\"")):
        if not flush():
            break
        continue
    line = re.sub(r"\\f[BIRP]|\\f\(..|\\[-&e|^]", "", line).strip()
    if line:
        para.append(line)
    elif not flush():
        break
else:
    flush()
out.append(tail)
open(dst, "w", encoding="gb2312").write("".join(out))
PY
page=$tmp/web/page.gb2312.html
size=$(stat -c %s "$page")

# The server, on a free port; it ends when fd 3 closes.
mkfifo "$tmp/serve.in"
python3 tests/support/serve.py "$tmp/web" <"$tmp/serve.in" >"$tmp/port" &
pids+=($!)
exec 3>"$tmp/serve.in"
for _ in $(seq 100); do [[ -s $tmp/port ]] && break; sleep 0.1; done
port=$(head -1 "$tmp/port")
[[ -n $port ]] || { echo "engine-load: the HTTP server did not start" >&2; exit 1; }
url=http://127.0.0.1:$port/page.gb2312.html

if [[ -z ${DISPLAY:-} ]]; then
  command -v Xvfb >/dev/null || { echo "engine-load: no DISPLAY and no Xvfb" >&2; exit 1; }
  Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$tmp/display" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [[ -s $tmp/display ]] && break; sleep 0.1; done
  export DISPLAY=:$(head -1 "$tmp/display")
fi

# A home and a registry of our own, the add-on registered.
home=$tmp/home
mkdir -p "$home"
cp "$module" "$tmp/Quillmer.so"
export QUILLMER_HOME=$home QUILLMER_REGISTRY=$tmp/registry QUILLMER_ACP=936
[[ -f $toolkit ]] && export QUILLMER_TOOLKIT=$toolkit
"$quillmer" register "$tmp/Quillmer.so" >/dev/null

# One timed load: prints the milliseconds; fails unless the page came out
# converted (or, with conversion off, as it was).
converted="print(text().indexOf('選項') >= 0 && text().indexOf('选项') < 0)"
timed() {  # auto-convert mode, then the command's arguments before -e, then the address
  local mode=$1 target=${*: -1} out
  printf '[Text_Convert]\nAutoConvert=%s\n' "$mode" >"$home/Quillmer.ini"
  out=$("${@:2:$#-2}" -e "var t = Date.now(); navigate('$target'); print(Date.now() - t); $converted") ||
    { echo "engine-load: ${*:2:$#-2} failed" >&2; exit 1; }
  local want=true
  [[ $mode == 0 ]] && want=false
  [[ $(sed -n 2p <<<"$out") == "$want" ]] ||
    { echo "engine-load: the page is not as expected (mode $mode): $out" >&2; exit 1; }
  head -1 <<<"$out"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

window=("$quillmer" browse --window --engine webkit)
model=("$quillmer" browse)
# One unmeasured run each: the caches of the disk and the engine.
timed 2 "${window[@]}" "$url" >/dev/null
timed 2 "${model[@]}" "$page" >/dev/null
w=() m=() l=()
for _ in $(seq "$runs"); do
  w+=("$(timed 2 "${window[@]}" "$url")")
  m+=("$(timed 2 "${model[@]}" "$page")")
  l+=("$(timed 0 "${window[@]}" "$url")")
done
tw=$(printf '%s\n' "${w[@]}" | median)
tm=$(printf '%s\n' "${m[@]}" | median)
tl=$(printf '%s\n' "${l[@]}" | median)

if [[ -n ${SCREENSHOT:-} ]]; then
  printf '[Text_Convert]\nAutoConvert=2\n' >"$home/Quillmer.ini"
  "${window[@]}" -e "navigate('$url'); screenshot('$(realpath -m "$SCREENSHOT")');" >/dev/null
fi

echo "page: $size bytes, gb2312, Simplified to Traditional as it loads (AutoConvert=2); median of $runs runs ($(nproc) CPUs, load $(cut -d' ' -f1 /proc/loadavg))"
printf '  WebKit window, over HTTP:         %8.0f ms   (runs: %s)\n' "$tw" "${w[*]}"
printf '  WebKit window, conversion off:    %8.0f ms   (runs: %s)\n' "$tl" "${l[*]}"
printf '  model backend, the same file:     %8.0f ms   (runs: %s)\n' "$tm" "${m[*]}"
awk -v w="$tw" -v m="$tm" -v l="$tl" 'BEGIN {
  printf "ratio: the window takes %.1fx the model'"'"'s time; conversion adds %.0f ms to the window'"'"'s load\n",
    (m > 0) ? w / m : 0, w - l }'
