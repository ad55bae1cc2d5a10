#!/usr/bin/env bash
# Screenshots of the options dialog, each tab, in each interface language
# (system code page 936, 950, 1252), into BUILD_DIR/screenshots/:
# options-ACP-TAB.png with TAB one of about, interface, conversion, zoom,
# hotkeys, help. The helper is registered so that the zoom tab is enabled,
# and the auto-zoom list holds two entries. Runs under Xvfb when no display
# is set.
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
run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
tabs=(about interface conversion zoom hotkeys help)
for acp in 936 950 1252; do
  printf '[Zoom_Ex]\nAutoURLCount=2\nAutoZoomValue1=120\nAutoZoomURL1=http://*.example.com/*\nAutoZoomValue2=90\nAutoZoomURL2=http://news.example.org/*\n[HotKeys]\nKey1=49236\n' \
    >"$QUILLMER_HOME/Quillmer.ini"
  script=""
  for i in "${!tabs[@]}"; do
    script+="set('Conversion', $i); screenshot('$out/options-$acp-${tabs[$i]}.png');"
  done
  QUILLMER_ACP=$acp run "$quillmer" options -e "$script"
  for t in "${tabs[@]}"; do echo "$out/options-$acp-$t.png"; done
done
