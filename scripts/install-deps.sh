#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Fotolista
# needs. Safe to run again: packages already present are skipped, and the
# package lists are refreshed at most once per call.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libfreeimage-dev libtiff-dev libjpeg-dev libpulse-dev
  # photos as phones and cameras make them: colour profiles, HEIC/AVIF (with
  # libheif's HEVC and AV1 decoders), WebP headers, PNG profiles
  liblcms2-dev libheif-dev libwebp-dev zlib1g-dev
  # .xlsx, .xlsm and .ods are ZIP archives
  libzip-dev
  # running the windows (offscreen in tests, X11 for the desktop and screenshots)
  qt6-qpa-plugins libqt6widgets6 fonts-dejavu-core
  # a shop's SVG logo, read by Qt's image plugin for the watermark maker
  libqt6svg6
  xvfb xauth x11-utils imagemagick xdg-utils
  # benchmark timing, the benchmark's .xlsx writer and reference reader, and
  # libavif's tools, which bench/avifchoice.sh puts beside libheif's encoder
  time python3-openpyxl libavif-bin
  # photo fixtures: EXIF, XMP and IPTC writer, HEIC/AVIF and WebP encoders,
  # and the colour profiles they embed (sRGB, Adobe RGB compatible, SWOP CMYK)
  libimage-exiftool-perl libheif-examples webp icc-profiles-free colord-data libgs-common
  # fixtures: two independent .xls writers and a compound-file writer; the
  # .ods reader the expected cell listings come from
  python3 python3-xlwt libspreadsheet-writeexcel-perl libole-storage-lite-perl python3-odf
  # sanitizers and fuzzing; llvm brings llvm-symbolizer, for stacks with
  # function names and lines
  clang libclang-rt-14-dev llvm
  # the layout of the C++ sources (scripts/check-format.sh)
  clang-format
  # Spanish locale for the number formats the user sees, and Qt's own texts
  # (standard buttons, the file dialog) in Spanish
  locales qt6-translations-l10n
  # the Debian package: dependencies of the programs, checks of the package,
  # its desktop entry and metadata, the job files' type, and the test of its
  # shell completion
  dpkg-dev lintian desktop-file-utils appstream bash-completion shared-mime-info libglib2.0-bin
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Instalando: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# es_ES.UTF-8 lets the tests and the demo show numbers as a Spanish user sees them.
if ! locale -a 2>/dev/null | grep -qi '^es_ES\.utf-\?8$'; then
  if [ -f /etc/locale.gen ] && ! grep -q '^es_ES.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'es_ES.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen >/dev/null 2>&1 || true
fi
