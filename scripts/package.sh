#!/usr/bin/env bash
# Builds the release into build/dist/ (or $OMBRA_BUILD_DIR/dist):
#   OmbraSetup-<version>.exe          the installer (NSIS), per user, no administrator rights
#   Ombra-<version>-portable.zip      ombra.exe and a short text on how to use it
# The version is the CMake project's (build/generated/version.nsh).
#   scripts/package.sh              build ombra.exe, then package it
#   scripts/package.sh --no-build   package the ombra.exe already built (the tests)
# OMBRA_DIST_DIR writes the packages elsewhere.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
DIST=${OMBRA_DIST_DIR:-$BUILD_DIR/dist}
cd "$ROOT"
if [ "${1:-}" != --no-build ]; then
  bash scripts/setup.sh
  bash scripts/build.sh ombra
fi
EXE=$BUILD_DIR/bin/ombra.exe
GEN=$BUILD_DIR/generated
[ -f "$EXE" ] && [ -f "$GEN/version.nsh" ] || { echo "package: build ombra first ($EXE)" >&2; exit 1; }
command -v makensis >/dev/null || { echo "package: makensis is missing (scripts/setup.sh installs it)" >&2; exit 1; }
VERSION=$(sed -n 's/^!define VERSION "\(.*\)"$/\1/p' "$GEN/version.nsh")
[ -n "$VERSION" ] || { echo "package: no version in $GEN/version.nsh" >&2; exit 1; }

mkdir -p "$DIST"
SETUP=$DIST/OmbraSetup-$VERSION.exe
ZIP=$DIST/Ombra-$VERSION-portable.zip
rm -f "$SETUP" "$ZIP"

makensis -V2 -DEXE="$EXE" -DGENERATED="$GEN" -DOUTFILE="$SETUP" "$ROOT/installer/ombra.nsi"

# The zip: Windows line ends for Notepad.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$EXE" "$stage/ombra.exe"
sed "s/@VERSION@/$VERSION/; s/\$/\r/" installer/portable.txt >"$stage/README.txt"
(cd "$stage" && python3 -m zipfile -c "$ZIP" ombra.exe README.txt)

printf 'package: %s (%d bytes)\n' "$SETUP" "$(stat -c %s "$SETUP")"
printf 'package: %s (%d bytes)\n' "$ZIP" "$(stat -c %s "$ZIP")"
