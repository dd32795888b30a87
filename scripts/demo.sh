#!/usr/bin/env bash
# Shows the program's main job on the built-in default scenario.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exec bash "$ROOT/scripts/demo-link.sh" "$@"
