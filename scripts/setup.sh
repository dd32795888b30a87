#!/usr/bin/env bash
# Installs what the build and the tests need; quick when everything is present.
# Debian packages come from the machine's apt sources; LAME is cross-built once
# from Debian's source package into build/deps/ and reused while it is there.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  mingw-w64-tools binutils-mingw-w64-x86-64 wine wine64 xvfb x11-utils imagemagick
  sox mpg123 lame espeak-ng fonts-liberation gstreamer1.0-plugins-good
  gstreamer1.0-plugins-ugly gstreamer1.0-libav python3 libxml2-utils librsvg2-bin
  dpkg-dev googletest make gzip xz-utils)

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

# LAME 3.100, static, for x86_64-w64-mingw32.
LAME_PREFIX="$BUILD/deps/lame"
if [ ! -f "$LAME_PREFIX/lib/libmp3lame.a" ]; then
  APT="$BUILD/apt"
  mkdir -p "$APT/lists/partial" "$APT/src"
  # Use the archive of the machine's own Debian entry, without touching its apt setup.
  uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '$1=="deb" && $0 !~ /security/ {for(i=2;i<=NF;i++) if ($i ~ /^https?:/) {print $i; exit}}' /etc/apt/sources.list 2>/dev/null || true)
  [ -n "$uri" ] || uri=http://deb.debian.org/debian
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri bookworm main" > "$APT/sources.list"
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
