#!/usr/bin/env bash
# Compares what the programs and modules of two build folders give, for a change of shape that
# must not change behaviour: convert (every file of MATERIAL_DIR that is no page, three
# directions), page and menu (every .htm/.html, both directions), --help of every command,
# --version, the registry file after register (paths masked) and str. Prints each difference
# and their count; exits 1 when there is one. MATERIAL_DIR defaults to examples/.
set -u
[ $# -ge 2 ] || { echo "usage: tools/compare-builds.sh OLD_DIR NEW_DIR [MATERIAL_DIR]" >&2; exit 2; }
old=$(cd "$1" && pwd); new=$(cd "$2" && pwd)
ex=$(cd "${3:-$(dirname "$0")/../examples}" && pwd)
t=$(mktemp -d); trap 'rm -rf "$t"' EXIT
diffs=0
run() { # tag program module args...
  local tag=$1 prog=$2 mod=$3; shift 3
  mkdir -p "$t/$tag/home"
  QUILLMER_HOME=$t/$tag/home QUILLMER_REGISTRY=$t/$tag/registry QUILLMER_ACP=${ACP:-936} "$prog" "$@" >"$t/$tag/out" 2>"$t/$tag/err" </dev/null; echo $? >"$t/$tag/rc"
}
cmp_case() { # name args... (MODULE in args is replaced)
  local name=$1; shift
  local a=() b=()
  for x in "$@"; do a+=("${x//MODULE/$old/Quillmer.so}"); b+=("${x//MODULE/$new/Quillmer.so}"); done
  rm -rf "$t/old" "$t/new"
  run old "$old/quillmer" "$old/Quillmer.so" "${a[@]}"
  run new "$new/quillmer" "$new/Quillmer.so" "${b[@]}"
  for f in out rc; do
    if ! cmp -s "$t/old/$f" "$t/new/$f"; then echo "DIFF $name ($f)"; diffs=$((diffs+1)); fi
  done
  sed "s|$old|X|g" "$t/old/err" >"$t/old/err2"; sed "s|$new|X|g" "$t/new/err" >"$t/new/err2"
  cmp -s "$t/old/err2" "$t/new/err2" || { echo "DIFF $name (stderr)"; diffs=$((diffs+1)); }
}
for f in "$ex"/*; do
  case $f in *.html|*.htm) for d in --to-trad --to-simp; do cmp_case "page $d $(basename $f)" page $d "$f"; cmp_case "page $d --alter $(basename $f)" page $d --alter-charset "$f"; done;;
  *) for d in --to-trad --to-simp --none; do cmp_case "convert $d $(basename $f)" convert $d "$f"; done;;
  esac
done
for c in "" convert detect clip page register unregister menu str registry; do cmp_case "help $c" $c --help; done
cmp_case "version" --version
# register, then the store's text (paths differ: compare with them masked)
for tag in old new; do
  d=$([ $tag = old ] && echo $old || echo $new); mkdir -p "$t/r$tag/home"
  QUILLMER_HOME=$t/r$tag/home QUILLMER_REGISTRY=$t/r$tag/registry QUILLMER_ACP=936 "$d/quillmer" register "$d/Quillmer.so" >/dev/null 2>&1
  QUILLMER_HOME=$t/r$tag/home QUILLMER_REGISTRY=$t/r$tag/registry QUILLMER_ACP=936 "$d/quillmer" str --to-trad 中华人民共和国头发 >"$t/r$tag/str" 2>&1
  sed "s|$d|X|g; s|$t/r$tag|Y|g" "$t/r$tag/registry" >"$t/r$tag/reg2"
done
cmp -s "$t/rold/reg2" "$t/rnew/reg2" || { echo "DIFF registry after register"; diff "$t/rold/reg2" "$t/rnew/reg2" | head -5; diffs=$((diffs+1)); }
cmp -s "$t/rold/str" "$t/rnew/str" || { echo "DIFF str"; diffs=$((diffs+1)); }
# context-menu pages on the example pages (English captions)
for f in "$ex"/*.htm*; do
  [ -e "$f" ] || continue
  for cap in "Display:  Traditional Chinese" "Display:  Simplified Chinese"; do
    for tag in old new; do
      d=$([ $tag = old ] && echo $old || echo $new); rm -rf "$t/m$tag"; mkdir -p "$t/m$tag/home"
      QUILLMER_HOME=$t/m$tag/home QUILLMER_REGISTRY=$t/m$tag/registry QUILLMER_ACP=1252 "$d/quillmer" register "$d/Quillmer.so" >/dev/null 2>&1
      QUILLMER_HOME=$t/m$tag/home QUILLMER_REGISTRY=$t/m$tag/registry QUILLMER_ACP=1252 "$d/quillmer" menu "$cap" "$f" >"$t/m$tag/out" 2>"$t/m$tag/err"; echo $? >>"$t/m$tag/out"
    done
    cmp -s "$t/mold/out" "$t/mnew/out" || { echo "DIFF menu '$cap' $(basename $f)"; diffs=$((diffs+1)); }
  done
done
echo "$diffs differences"
[ "$diffs" = 0 ]
