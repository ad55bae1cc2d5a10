#!/usr/bin/env bash
# Screenshots of the browser window with the toolbar and a Chinese page, in
# each interface language (system code page 936, 950, 1252), into
# BUILD_DIR/screenshots/: toolbar-ACP.png with the page as loaded,
# toolbar-ACP-trad.png after ToolButton1 converted it, and toolbar-ACP-menu.png
# with the toolbar's right-click menu open. Runs under Xvfb when no display is
# set.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
quillmer=$(realpath "$BUILD_DIR/quillmer")
out=$(realpath -m "$BUILD_DIR/screenshots")
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUILLMER_REGISTRY="$work/registry" QUILLMER_HOME="$work/home"
mkdir -p "$QUILLMER_HOME"
"$quillmer" register "$(realpath "$BUILD_DIR/Quillmer.so")" >/dev/null
page=$(realpath examples/page.html)
run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
for acp in 936 950 1252; do
  QUILLMER_ACP=$acp run "$quillmer" browse --window --engine model -e "
    screenshot('$out/toolbar-$acp.png');
    click('ToolButton1');
    screenshot('$out/toolbar-$acp-trad.png');
    click('ToolBar1', 3);
    screenshot('$out/toolbar-$acp-menu.png');" "$page"
  echo "$out/toolbar-$acp.png $out/toolbar-$acp-trad.png $out/toolbar-$acp-menu.png"
done
