#!/usr/bin/env bash
# Installs everything the cross build and the Wine test run need, and builds
# static OpenSSL, libpng and GoogleTest for Windows from Debian's source
# packages. Built dependencies are cached outside the tree, keyed by version,
# options and target, so a second run takes seconds.
# Usage: scripts/deps.sh [x64|x86]   (default x64; x86 is the 32-bit build,
# whose settings go to deps-x86.cmake)
set -euo pipefail
shopt -s inherit_errexit

HERE=$(cd "$(dirname "$0")" && pwd)
CACHE=${POSTWARDEN_CACHE:-$HOME/.cache/postwarden}
ARCH=${1:-x64}
case "$ARCH" in
  x64) TRIPLE=x86_64-w64-mingw32; TOOLCHAIN=mingw-w64.cmake; SSL_TARGET=mingw64; KEYTAG=""; DEPS_FILE=deps.cmake ;;
  # OpenSSL's 32-bit assembler is written for ELF relocations the COFF
  # assembler cannot represent: plain C for x86.
  x86) TRIPLE=i686-w64-mingw32; TOOLCHAIN=mingw-w64-i686.cmake; SSL_TARGET="mingw no-asm"; KEYTAG=" i686"; DEPS_FILE=deps-x86.cmake ;;
  *) echo "usage: deps.sh [x64|x86]" >&2; exit 2 ;;
esac
mkdir -p "$CACHE"

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev libz-mingw-w64-dev
  wine wine64 xvfb xauth cmake make ninja-build googletest dpkg-dev
  python3 dovecot-pop3d mailutils-pop3d openssl openssh-server openssh-client squid microsocks
  exim4-daemon-light rbldnsd
)
# The 32-bit build and the installer.
[ "$ARCH" = x86 ] && PACKAGES+=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
                                mingw-w64-i686-dev nsis zip)

need_install=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need_install+=("$p")
done
if [ ${#need_install[@]} -gt 0 ]; then
  echo "deps: installing ${need_install[*]}"
  as_root apt-get update -qq
  # Dovecot's post-install tries to start its service; none runs in a container.
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need_install[@]}" >/dev/null
fi

# The posix-thread variant is needed for std::thread and std::mutex.
CXX=$(command -v $TRIPLE-g++-posix)
CC=$(command -v $TRIPLE-gcc-posix)

# A deb-src list derived from the machine's own apt sources, in a file of its own.
ensure_deb_src() {
  local out=/etc/apt/sources.list.d/postwarden-src.sources
  [ -f "$out" ] && return 0
  local tmp; tmp=$(mktemp)
  # Stanzas of Debian's own archives, with their type changed to deb-src.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk 'BEGIN{RS="";ORS="\n\n"} /Types:[^\n]*deb/ && (/debian-archive-keyring/ || /URIs:[^\n]*\/debian/) {
           sub(/Types:[^\n]*/,"Types: deb-src"); print }' "$f" >>"$tmp"
  done
  # One-line entries of the classic list, rewritten the same way.
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | while read -r _ rest; do
      set -- $rest
      [ "${1#[}" != "$1" ] && shift   # drop an [options] block
      uri=$1; suite=$2; shift 2
      printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n\n' "$uri" "$suite" "$*"
    done >>"$tmp"
  fi
  as_root cp "$tmp" "$out"; rm -f "$tmp"
  as_root apt-get update -qq
}

fetch_source() { # package/suite, destination
  local pkg=$1 dest=$2 work
  work=$(mktemp -d "$CACHE/src.XXXXXX")
  ( cd "$work" && apt-get source --download-only -qq "$pkg" >/dev/null 2>&1 || apt-get source --download-only -qq "${pkg%%/*}" >/dev/null )
  local dsc; dsc=$(ls "$work"/*.dsc | head -n1)
  ( cd "$work" && dpkg-source --no-check -x "$dsc" unpacked >/dev/null )
  rm -rf "$dest"; mv "$work/unpacked" "$dest"; rm -rf "$work"
}

SSL_OPTS="no-shared no-tests no-engine no-legacy no-comp no-dso no-ui-console"
build_openssl() {
  local ver key prefix
  ver=$(apt-cache showsrc openssl 2>/dev/null | awk '/^Version:/{print $2}' | sort -V | tail -n1)
  key=$(echo "$ver $SSL_OPTS $($CC -dumpversion)$KEYTAG" | md5sum | cut -c1-12)
  prefix="$CACHE/openssl-$key"
  if [ -f "$prefix/.done" ]; then echo "$prefix"; return; fi
  echo "deps: building OpenSSL $ver (a few minutes)" >&2
  local src="$CACHE/openssl-src-$ARCH"
  fetch_source openssl/bookworm "$src" >&2
  local log="$CACHE/openssl-build-$ARCH.log"
  if ! ( cd "$src" && ./Configure $SSL_TARGET $SSL_OPTS --prefix="$prefix" --libdir=lib \
           CC="$CC" AR=$TRIPLE-ar RANLIB=$TRIPLE-ranlib RC=$TRIPLE-windres \
         && make -j"$(nproc)" build_libs && make install_dev ) >"$log" 2>&1; then
    tail -n 30 "$log" >&2; echo "deps: OpenSSL build failed (log: $log)" >&2; exit 1
  fi
  rm -rf "$src"
  touch "$prefix/.done"
  echo "$prefix"
}

build_libpng() {
  local ver key prefix
  ver=$(apt-cache showsrc libpng1.6 2>/dev/null | awk '/^Version:/{print $2}' | sort -V | tail -n1)
  key=$(echo "$ver $($CC -dumpversion)$KEYTAG" | md5sum | cut -c1-12)
  prefix="$CACHE/libpng-$key"
  if [ -f "$prefix/.done" ]; then echo "$prefix"; return; fi
  echo "deps: building libpng $ver" >&2
  local src="$CACHE/libpng-src-$ARCH"
  fetch_source libpng1.6/bookworm "$src" >&2
  local b="$CACHE/libpng-build-$ARCH"; rm -rf "$b"; mkdir -p "$b"
  ( cd "$b" && cmake "$src" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$HERE/../cmake/$TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
      -DZLIB_USE_STATIC_LIBS=ON -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null \
    && ninja install >/dev/null ) >&2
  rm -rf "$src" "$b"
  touch "$prefix/.done"
  echo "$prefix"
}

build_gtest() {
  local ver key prefix
  ver=$(dpkg-query -W -f='${Version}' googletest)
  key=$(echo "$ver $($CC -dumpversion)$KEYTAG" | md5sum | cut -c1-12)
  prefix="$CACHE/gtest-$key"
  if [ -f "$prefix/.done" ]; then echo "$prefix"; return; fi
  echo "deps: building GoogleTest $ver" >&2
  local b="$CACHE/gtest-build-$ARCH"; rm -rf "$b"; mkdir -p "$b"
  ( cd "$b" && cmake /usr/src/googletest -G Ninja -DCMAKE_TOOLCHAIN_FILE="$HERE/../cmake/$TOOLCHAIN" \
      -DCMAKE_BUILD_TYPE=Release -Dgtest_disable_pthreads=OFF -DBUILD_GMOCK=ON \
      -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null \
    && ninja install >/dev/null ) >&2
  rm -rf "$b"
  touch "$prefix/.done"
  echo "$prefix"
}

ensure_deb_src
OPENSSL_PREFIX=$(build_openssl)
LIBPNG_PREFIX=$(build_libpng)
GTEST_PREFIX=$(build_gtest)

cat >"$CACHE/$DEPS_FILE" <<CMK
set(OPENSSL_ROOT_DIR "$OPENSSL_PREFIX" CACHE PATH "")
set(PNG_ROOT "$LIBPNG_PREFIX" CACHE PATH "")
set(GTEST_ROOT "$GTEST_PREFIX" CACHE PATH "")
set(CMAKE_PREFIX_PATH "$OPENSSL_PREFIX;$LIBPNG_PREFIX;$GTEST_PREFIX" CACHE STRING "")
CMK
echo "deps: ready ($CACHE/$DEPS_FILE)"
