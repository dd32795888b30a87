#!/usr/bin/env bash
# Renders the editable pictures resources/art/*.svg into the BMP files the resource
# script uses (resources/bmp/<same name>.bmp, 24-bit, no alpha: transparent areas are
# drawn in the picture's key colour, e.g. white or RGB(51,150,253), and the controls
# treat that colour as transparent).  The 125, 150 and 200 % pictures go to
# resources/png/<percent>/<name>.png, flattened the same way, and resources/scaled.rc
# lists them under the BITMAP's id.  The SVGs, BMPs, PNGs and scaled.rc are committed.
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
  for zoom in 1.25 1.5 2; do
    pc=$(awk "BEGIN{print $zoom*100}")
    mkdir -p "$ROOT/resources/png/$pc"
    rsvg-convert -z "$zoom" "$svg" -o "$tmp/$n-$pc.png"
    convert "$tmp/$n-$pc.png" -background none -flatten -alpha off -type TrueColor \
            -define png:compression-level=9 "PNG24:$ROOT/resources/png/$pc/$n.png"
  done
  echo "render-art: $n.bmp, png/{125,150,200}/$n.png"
done
# The scaled pictures carry the id of the BITMAP they stand for.
{
  echo "// Made by scripts/render-art.sh: the pictures at 125, 150 and 200 %."
  for pc in 125 150 200; do
    sed -n 's|^\(IDB_[A-Z0-9_]*\) BITMAP "bmp/\(.*\)\.bmp"$|\1 PNG'"$pc"' "png/'"$pc"'/\2.png"|p' \
        "$ROOT/resources/main.rc" "$ROOT/resources/history.rc"
  done
} >"$ROOT/resources/scaled.rc"
