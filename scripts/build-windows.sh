#!/usr/bin/env bash
# Cross-builds Fotolista for 64-bit Windows on Debian 12 and writes
# build-windows/Fotolista-VERSION-win64.zip.
#
#   bash scripts/build-windows.sh
#
# Installs the MinGW-w64 compilers, Wine and the other tools, fetches
# Debian's source packages of every library with an APT configuration of its
# own, cross-builds them into a prefix in the user's cache folder (each
# package once for its version and recipe: a second build takes minutes),
# then Fotolista, its tests, and the zip. Qt alone takes about 35 minutes
# the first time on two cores. docs/windows.md says what differs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/fotolista-windows
prefix=$cache/prefix
work=$cache/work
out=${WINDOWS_BUILD_DIR:-$root/build-windows}
jobs=${JOBS:-2}
toolchain=$root/cmake/mingw-w64.cmake
export FOTOLISTA_WINDOWS_PREFIX=$prefix
# pkg-config finds only what was built for Windows.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig:/usr/x86_64-w64-mingw32/lib/pkgconfig
export PKG_CONFIG_PATH=
# Wine keeps its own Windows in the cache, away from the user's.
export WINEPREFIX=${WINEPREFIX:-$cache/wine}
export WINEDEBUG=${WINEDEBUG:--all}

tools=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  libz-mingw-w64-dev nasm cmake ninja-build pkg-config dpkg-dev debian-archive-keyring
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n wine wine64 xvfb xauth zip unzip
)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

mkdir -p "$prefix" "$work" "$out"
# shellcheck source=windows/sources.sh
source "$root/scripts/windows/sources.sh"
# shellcheck source=windows/recipes.sh
source "$root/scripts/windows/recipes.sh"
apt_setup

# In the order they need each other.
packages=(libpng1.6 libjpeg-turbo tiff libwebp imath freeimage lcms2 libzip libde265 aom libheif qt6-base)
for package in "${packages[@]}"; do
  version=$(source_version "$package")
  [ -n "$version" ] || { echo "build-windows: no source package $package" >&2; exit 1; }
  # The stamp names the version and the recipe: either changed, built again.
  recipe=$({
    declare -f cmake_build "build_$package"
    [ "$package" != freeimage ] || cat "$root/scripts/windows/freeimage/"*
  } | sha1sum | cut -c1-12)
  stamp="$prefix/.built/$package-$version-$recipe"
  if [ -f "$stamp" ]; then
    echo "build-windows: $package $version (ya compilado)"
    continue
  fi
  echo "build-windows: $package $version ..."
  src=$(fetch_source "$package" "$version")
  started=$(date +%s)
  log="$work/$package.log"
  if ! "build_$package" "$src" > "$log" 2>&1; then
    echo "build-windows: $package failed; the last lines of $log:" >&2
    tail -30 "$log" >&2
    exit 1
  fi
  mkdir -p "$prefix/.built"
  rm -f "$prefix/.built/$package-"*
  touch "$stamp"
  echo "build-windows: $package $version in $(($(date +%s) - started)) s"
done

echo "build-windows: Fotolista ..."
cmake -S "$root" -B "$out/fotolista" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DFOTOLISTA_WINDOWS_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
cmake --build "$out/fotolista" -j"$jobs"

bash "$root/scripts/windows/package.sh" "$out/fotolista" "$prefix" "$out"
