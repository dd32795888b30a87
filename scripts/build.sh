#!/usr/bin/env bash
# Configures (once) and builds into build/ (or $OMBRA_BUILD_DIR) with the mingw-w64
# toolchain.  Extra arguments go to the build tool, e.g. scripts/build.sh test_skype
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${OMBRA_BUILD_DIR:-$ROOT/build}
cd "$ROOT"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DOMBRA_LAME_PREFIX="$ROOT/build/deps/lame" >/dev/null
fi
cmake --build "$BUILD_DIR" -- -j"${OMBRA_JOBS:-2}" "$@"
