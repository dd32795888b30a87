#!/usr/bin/env bash
# Installs what the build and the tests need; quick when everything is present.
# Debian packages come from the machine's apt sources; LAME is cross-built once
# from Debian's source package into build/deps/ and reused while it is there.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  mingw-w64-tools binutils-mingw-w64-x86-64 wine wine64 xvfb x11-utils imagemagick
  sox mpg123 python3-mutagen lame espeak-ng fonts-liberation gstreamer1.0-plugins-good
  gstreamer1.0-plugins-ugly gstreamer1.0-libav python3 libxml2-utils librsvg2-bin
  dpkg-dev googletest make gzip xz-utils nsis)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Debian release whose source package of LAME is built.
SUITE=bookworm

# The first URI of an enabled entry for $SUITE in the machine's apt sources, in
# the deb822 (*.sources) or the one-line (sources.list, *.list) format.
debian_archive_uri() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$SUITE" 'BEGIN { RS = ""; FS = "\n" }
      { uris = ""; ok = 0; off = 0
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^URIs:/) { split($i, a, /[ \t]+/); uris = a[2] }
          if ($i ~ /^Suites:/) { n = split($i, a, /[ \t]+/); for (j = 2; j <= n; j++) if (a[j] == suite) ok = 1 }
          if ($i ~ /^Enabled:[ \t]*no/) off = 1
        }
        if (ok && !off && uris != "") { print uris; exit } }' "$f"
  done | head -1 | grep . && return 0
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk -v suite="$SUITE" '$1 == "deb" || $1 == "deb-src" {
        i = 2; if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == suite) { print $i; exit } }'
}

# LAME 3.100, static, for x86_64-w64-mingw32.
LAME_PREFIX="$BUILD/deps/lame"
if [ ! -f "$LAME_PREFIX/lib/libmp3lame.a" ]; then
  APT="$BUILD/apt"
  mkdir -p "$APT/lists/partial" "$APT/src"
  # The archive of the machine's own Debian entry, read from its apt setup, which
  # stays untouched. The project names no archive of its own.
  uri=$(debian_archive_uri || true)
  if [ -z "$uri" ]; then
    echo "setup: the machine's apt configuration names no Debian archive for the $SUITE suite." >&2
    echo "setup: LAME is built from Debian's source package and needs one. Add an entry to" >&2
    echo "setup: /etc/apt/sources.list.d/debian.sources ('Types: deb', 'URIs: <your Debian mirror>'," >&2
    echo "setup: 'Suites: $SUITE', 'Components: main') or a 'deb <mirror> $SUITE main' line to" >&2
    echo "setup: /etc/apt/sources.list, then run scripts/setup.sh again." >&2
    exit 1
  fi
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $SUITE main" > "$APT/sources.list"
  opts=(-o Dir::Etc::SourceList="$APT/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache" -o Debug::NoLocking=1)
  mkdir -p "$APT/cache/archives/partial"
  if ! ls "$APT/src"/lame_3.100.orig.tar.gz >/dev/null 2>&1; then
    echo "setup: fetching the lame source package"
    apt-get "${opts[@]}" update -qq
    (cd "$APT/src" && apt-get "${opts[@]}" source --download-only lame >/dev/null)
  fi
  echo "setup: cross-building libmp3lame"
  work="$BUILD/deps/lame-src"
  rm -rf "$work"; mkdir -p "$work"
  tar -xzf "$APT/src"/lame_3.100.orig.tar.gz -C "$work" --strip-components=1
  (cd "$work" && ./configure -q --host=x86_64-w64-mingw32 --prefix="$LAME_PREFIX" \
      --disable-shared --enable-static --disable-frontend --disable-decoder \
      CC=x86_64-w64-mingw32-gcc-posix CFLAGS="-O2" >/dev/null \
   && make -s -j"$(nproc)" >/dev/null 2>&1 && make -s install >/dev/null)
  rm -rf "$work"
fi
echo "setup: ready"
