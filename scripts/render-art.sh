#!/usr/bin/env bash
# Renders the editable pictures resources/art/*.svg into the BMP files the resource
# script uses (resources/bmp/<same name>.bmp, 24-bit, no alpha: transparent areas are
# drawn in the picture's key colour, e.g. white or RGB(51,150,253), and the controls
# treat that colour as transparent).  Both the SVGs and the BMPs are committed.
#   scripts/render-art.sh            render every picture that changed
#   scripts/render-art.sh NAME...    render only these (file names without .svg)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ART="$ROOT/resources/art"
OUT="$ROOT/resources/bmp"
mkdir -p "$OUT"
names=("$@")
if ((${#names[@]} == 0)); then
  for f in "$ART"/*.svg; do [ -e "$f" ] && names+=("$(basename "$f" .svg)"); done
fi
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for n in "${names[@]}"; do
  svg="$ART/$n.svg"; bmp="$OUT/$n.bmp"
  [ -f "$svg" ] || { echo "render-art: no $svg" >&2; exit 1; }
  [ "$#" -eq 0 ] && [ -f "$bmp" ] && [ "$bmp" -nt "$svg" ] && continue
  rsvg-convert "$svg" -o "$tmp/$n.png"
  # Flatten onto the picture's own background, then write a plain 24-bit BMP.
  convert "$tmp/$n.png" -background none -flatten -alpha off -type TrueColor "BMP3:$bmp"
  echo "render-art: $n.bmp"
done
