#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine.
# Exit status 0 only when every test passed.  Extra arguments go to ctest
# (for example: scripts/test.sh -R skype).  OMBRA_BUILD_DIR selects another
# build folder; its Wine prefix is <build folder>/wine.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
export OMBRA_WINE_DIR=$BUILD_DIR/wine
cd "$ROOT"
bash scripts/setup.sh
bash scripts/build.sh

# One wineserver for the whole run; nothing is left running afterwards.
trap 'bash "$ROOT/scripts/wine.sh" --server-stop' EXIT
bash scripts/wine.sh --server-start
cd "$BUILD_DIR"
ctest --output-on-failure -j2 "$@"
