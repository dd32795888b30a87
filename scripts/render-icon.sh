#!/usr/bin/env bash
# Renders the application icon resources/art/icon/ombra.svg into resources/ombra.ico
# at 16, 32, 48 and 256 pixels (32-bit with alpha). Both files are committed.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
pngs=()
for s in 16 32 48 256; do
  rsvg-convert -w "$s" -h "$s" "$ROOT/resources/art/icon/ombra.svg" -o "$tmp/$s.png"
  pngs+=("$tmp/$s.png")
done
convert "${pngs[@]}" "$ROOT/resources/ombra.ico"
echo "render-icon: ombra.ico"
