# How each library is cross-built, one function a package: build_PACKAGE
# SOURCE_DIR, installing into $prefix. Sourced by build-windows.sh, which sets
# $prefix, $jobs, $toolchain and $work.

cmake_build() {  # SOURCE_DIR BUILD_NAME CMAKE_ARGS...
  local src=$1 name=$2
  shift 2
  rm -rf "$work/$name"
  cmake -S "$src" -B "$work/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DFOTOLISTA_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" "$@" >&2
  cmake --build "$work/$name" -j"$jobs" >&2
  cmake --install "$work/$name" >&2
}

build_libpng1.6() {
  cmake_build "$1" libpng -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_ROOT="$prefix"
}

build_libjpeg-turbo() {
  cmake_build "$1" libjpeg-turbo -DENABLE_SHARED=ON -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_tiff() {
  # JPEG and Deflate compression only: the layouts photos use.
  cmake_build "$1" tiff -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Djbig=OFF -Djpeg12=OFF -Dlerc=OFF -Dlzma=OFF -Dwebp=OFF -Dzstd=OFF -Dlibdeflate=OFF -Dpixarlog=OFF \
    -Dcxx=OFF -Dzlib=ON -Djpeg=ON
}

build_libwebp() {
  cmake_build "$1" libwebp -DBUILD_SHARED_LIBS=ON -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
}

build_freeimage() {
  # Debian's source keeps FreeImage's own code and builds it against the
  # system's libraries; our CMake file does the same for Windows, leaving
  # out the formats whose libraries are not built here (see docs/windows.md).
  local src=$1
  cp "$root/scripts/windows/freeimage/CMakeLists.txt" "$root/scripts/windows/freeimage/noformats.cpp" "$src/"
  cmake_build "$src" freeimage
}

build_lcms2() {
  local src=$1
  rm -rf "$work/lcms2" && mkdir -p "$work/lcms2"
  (cd "$work/lcms2" && "$src/configure" --host=x86_64-w64-mingw32 --prefix="$prefix" --enable-shared \
    --disable-static --without-jpeg --without-tiff --without-zlib CC=x86_64-w64-mingw32-gcc-posix >&2 &&
    make -j"$jobs" -C src >&2 && make -C src install >&2 && make install-pkgconfigDATA >&2 &&
    make -C include install >&2)
}

build_libzip() {
  cmake_build "$1" libzip -DBUILD_SHARED_LIBS=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
    -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
    -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
}

build_qt6-base() {
  # Core, Gui, Widgets and Test with the Windows platform plugin; the host's
  # Qt (the same 6.4.2) runs moc, rcc and uic. Debian's repacked source lacks
  # wintab.h, hence no tablet events; nothing here draws with OpenGL or
  # Direct2D, and the fonts come from GDI (Qt's DirectWrite database needs
  # Direct2D).
  local src=$1
  rm -rf "$work/qt" && mkdir -p "$work/qt"
  (cd "$work/qt" && "$src/configure" -prefix "$prefix" -release -shared -xplatform win32-g++ \
    -qt-host-path /usr -nomake examples -nomake tests \
    -qt-zlib -qt-pcre -qt-harfbuzz -qt-libpng -qt-libjpeg -qt-doubleconversion \
    -no-freetype -no-opengl -no-dbus -no-icu -no-zstd \
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent -no-feature-xml \
    -no-feature-tabletevent -no-feature-direct2d -no-feature-directwrite3 \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DFOTOLISTA_WINDOWS_PREFIX="$prefix" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2 &&
    cmake --build . -j"$jobs" >&2 && cmake --install . >&2)
}

build_libde265() {
  cmake_build "$1" libde265 -DBUILD_SHARED_LIBS=ON -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
}

build_aom() {
  # The AV1 encoder and decoder libheif uses for AVIF; no tools, no tests.
  cmake_build "$1" aom -DBUILD_SHARED_LIBS=ON -DENABLE_DOCS=OFF -DENABLE_EXAMPLES=OFF -DENABLE_TESTS=OFF \
    -DENABLE_TESTDATA=OFF -DENABLE_TOOLS=OFF -DCONFIG_AV1_HIGHBITDEPTH=1 -DAOM_TARGET_CPU=x86_64 \
    -DCONFIG_LIBYUV=0 \
    -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_libheif() {
  # HEVC decoding with libde265 and AV1 with aom, linked in (no plugins).
  cmake_build "$1" libheif -DBUILD_SHARED_LIBS=ON -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF \
    -DWITH_LIBDE265=ON -DWITH_AOM_ENCODER=ON -DWITH_AOM_DECODER=ON -DWITH_X265=OFF -DWITH_DAV1D=OFF \
    -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF -DWITH_GDK_PIXBUF=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Doxygen=ON
}

build_imath() {
  # FreeImage's TIFF plugin reads half floats with Imath's half.
  cmake_build "$1" imath -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DPYTHON=OFF -DIMATH_INSTALL_PKG_CONFIG=ON
}
