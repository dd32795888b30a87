#!/usr/bin/env bash
# Runs a Windows program in the project's own Wine prefix (build/wine/prefix),
# creating the prefix on first use. The user's own ~/.wine and ~/.asoundrc are
# never touched: HOME points to build/wine/home while Wine runs.
#   scripts/wine.sh PROGRAM [ARGS...]   run a program
#   scripts/wine.sh --init              only create the prefix
#   scripts/wine.sh --server-start      keep one wineserver running (test runs)
#   scripts/wine.sh --server-stop       end it and everything in the prefix
# OMBRA_WINE_DIR selects another folder (a fresh prefix for the demo or a test).
# OMBRA_DISPLAY=:N uses that X display instead of the null graphics driver.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE_DIR=${OMBRA_WINE_DIR:-$ROOT/build/wine}
export WINEPREFIX="$WINE_DIR/prefix"
export HOME="$WINE_DIR/home"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export LANG=${LANG:-C.UTF-8}
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME || true
if [ -n "${OMBRA_DISPLAY:-}" ]; then export DISPLAY=$OMBRA_DISPLAY; else unset DISPLAY; fi

set_graphics() {
  if [ -n "${OMBRA_DISPLAY:-}" ]; then
    wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  else
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  fi
}

init_prefix() {
  [ -f "$WINEPREFIX/.ombra-ready" ] && return 0
  mkdir -p "$HOME"
  # MCI playback needs an ALSA device; a null sink keeps tests silent.
  printf 'pcm.!default { type null }\n' > "$HOME/.asoundrc"
  wineboot -i </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.ombra-ready"
}

case "${1:-}" in
  --init) init_prefix; exit 0 ;;
  --server-start)
    init_prefix
    wineserver -p
    # Start Wine's services now, before anything reads a Wine program through a pipe.
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    set_graphics </dev/null
    exit 0 ;;
  --server-stop) wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; exit 0 ;;
  "") echo "usage: scripts/wine.sh PROGRAM [ARGS...]" >&2; exit 2 ;;
esac
init_prefix
exec wine "$@"
