#!/usr/bin/env bash
# Screenshots of the engine window (WebKitGTK) on a Chinese page served over
# HTTP, in each interface language (system code page 936, 950, 1252), into
# BUILD_DIR/screenshots/: engine-ACP.png with the page converted to
# Traditional while it loaded (AutoConvert=2), engine-ACP-simp.png after
# ToolButton2 converted it back. Runs under Xvfb when no display is set.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
quillmer=$(realpath "$BUILD_DIR/quillmer")
out=$(realpath -m "$BUILD_DIR/screenshots")
mkdir -p "$out"
work=$(mktemp -d)
exec 3> >(python3 tests/support/serve.py tests/data/web > "$work/port")
trap 'exec 3>&-; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")
export QUILLMER_REGISTRY="$work/registry" QUILLMER_HOME="$work/home"
mkdir -p "$QUILLMER_HOME"
printf '[Text_Convert]\r\nAutoConvert=2\r\n' > "$QUILLMER_HOME/Quillmer.ini"
"$quillmer" register "$(realpath "$BUILD_DIR/Quillmer.so")" >/dev/null
run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
for acp in 936 950 1252; do
  QUILLMER_ACP=$acp run "$quillmer" browse --window --engine webkit -e "
    screenshot('$out/engine-$acp.png');
    click('ToolButton2');
    screenshot('$out/engine-$acp-simp.png');" "http://127.0.0.1:$port/frames.gb2312.html"
  echo "$out/engine-$acp.png $out/engine-$acp-simp.png"
done
