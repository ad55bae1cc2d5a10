#!/usr/bin/env bash
# Screenshots of the emendation editor (both tables, with a few pairs and a
# search) and of the auto-zoom URL dialog in each interface language (system
# code page 936, 950, 1252), into BUILD_DIR/screenshots/: emend-ACP-trad.png,
# emend-ACP-simp.png, emend-ACP-search.png, autozoom-ACP.png. Runs under Xvfb
# when no display is set.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
quillmer=$(realpath "$BUILD_DIR/quillmer")
out=$(realpath -m "$BUILD_DIR/screenshots")
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QUILLMER_REGISTRY="$work/registry" QUILLMER_HOME="$work/home"
run() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}
add="set('edtGB', '中華'); set('edtB5', '華夏'); click('btnIns');
     set('edtGB', '頭發'); set('edtB5', '頭髮'); click('btnIns');
     set('edtGB', 'IE瀏覽器'); set('edtB5', '瀏覽器'); click('btnIns');"
addSimp="set('edtGB', '后来'); set('edtB5', '後來'); click('btnIns');
     set('edtGB', '软件'); set('edtB5', '软体'); click('btnIns');"
for acp in 936 950 1252; do
  rm -rf "$QUILLMER_HOME" && mkdir -p "$QUILLMER_HOME"
  QUILLMER_ACP=$acp run "$quillmer" emend --to-trad -e "$add
    screenshot('$out/emend-$acp-trad.png');
    set('edtSearch', '瀏'); set('ComboBox1', 2); click('btnSearch');
    screenshot('$out/emend-$acp-search.png'); close();"
  QUILLMER_ACP=$acp run "$quillmer" emend --to-simp -e "$addSimp
    screenshot('$out/emend-$acp-simp.png'); close();"
  QUILLMER_ACP=$acp run "$quillmer" autozoom --zoom 120 http://example.com/news/a.html -e "
    screenshot('$out/autozoom-$acp.png'); close();"
  echo "$out/emend-$acp-trad.png $out/emend-$acp-search.png $out/emend-$acp-simp.png $out/autozoom-$acp.png"
done
