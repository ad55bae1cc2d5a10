#!/usr/bin/env bash
# Renders the toolbar's 16 button images from their SVG sources in
# resources/images/ to the 16 x 16 PNGs in resources/rcdata/ that are built in.
# The PNGs are committed; the build never runs this.
#
#   tools/render-toolbar-images.sh [--check] [--preview FILE]
#
# --check writes nothing and fails when a committed PNG differs from what its
# source renders to. --preview also writes a sheet of all 16 at 32 x 32 to FILE
# (for looking at; not part of the tree).
#
# Needs rsvg-convert (librsvg2-bin) only: the 繁 and 简 glyphs are drawn pixel
# by pixel as paths, so no font is involved. Another version of librsvg may
# encode the same pixels differently; --check then reports the files.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
preview=
while [[ $# -gt 0 ]]; do
  case $1 in
    --check) check=1; shift ;;
    --preview) [[ $# -ge 2 ]] || { echo "render-toolbar-images: --preview needs a file" >&2; exit 2; }
               preview=$(realpath -m "$2"); shift 2 ;;
    *) echo "usage: $0 [--check] [--preview FILE]" >&2; exit 2 ;;
  esac
done

command -v rsvg-convert >/dev/null ||
  { echo "render-toolbar-images: rsvg-convert is missing (librsvg2-bin)" >&2; exit 1; }

src=resources/images
dst=resources/rcdata
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

stale=0
for i in $(seq -w 0 15); do
  name=toolbar_$i
  [[ -f $src/$name.svg ]] || { echo "render-toolbar-images: $src/$name.svg is missing" >&2; exit 1; }
  rsvg-convert --width 16 --height 16 --format png -o "$tmp/$name.png" "$src/$name.svg"
  if (( check )); then
    if ! cmp -s "$tmp/$name.png" "$dst/$name.png"; then
      echo "render-toolbar-images: $dst/$name.png does not match $src/$name.svg" >&2
      stale=1
    fi
  else
    cp "$tmp/$name.png" "$dst/$name.png"
  fi
done

if [[ -n $preview ]]; then
  # Sources are copied beside the sheet: librsvg loads images only from below
  # the referring file's folder.
  cp "$src"/toolbar_*.svg "$tmp/"
  {
    echo '<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="328" height="88">'
    echo '<rect width="328" height="88" fill="#d4d0c8"/><rect y="44" width="328" height="44" fill="#fff"/>'
    for i in $(seq 0 15); do
      x=$(( 8 + (i % 8) * 40 )); y=$(( 6 + (i / 8) * 44 ))
      printf '<image x="%d" y="%d" width="32" height="32" xlink:href="toolbar_%02d.svg"/>\n' "$x" "$y" "$i"
    done
    echo '</svg>'
  } >"$tmp/sheet.svg"
  rsvg-convert --format png -o "$preview" "$tmp/sheet.svg"
  echo "render-toolbar-images: preview in $preview"
fi

if (( check )); then
  (( stale == 0 )) || exit 1
  echo "render-toolbar-images: all 16 images match their sources"
fi
