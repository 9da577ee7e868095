# Finds FreeImage, which Debian ships without a CMake or pkg-config file.
# Defines FreeImage_FOUND, FreeImage_INCLUDE_DIR, FreeImage_LIBRARY and the
# imported target FreeImage::FreeImage.
find_path(FreeImage_INCLUDE_DIR NAMES FreeImage.h)
find_library(FreeImage_LIBRARY NAMES freeimage FreeImage)

if(FreeImage_INCLUDE_DIR AND EXISTS "${FreeImage_INCLUDE_DIR}/FreeImage.h")
  file(STRINGS "${FreeImage_INCLUDE_DIR}/FreeImage.h" _fi_version_lines
       REGEX "#define FREEIMAGE_(MAJOR_VERSION|MINOR_VERSION|RELEASE_SERIAL)[ \t]+[0-9]+")
  foreach(_part MAJOR_VERSION MINOR_VERSION RELEASE_SERIAL)
    string(REGEX REPLACE ".*FREEIMAGE_${_part}[ \t]+([0-9]+).*" "\\1"
           _fi_${_part} "${_fi_version_lines}")
  endforeach()
  set(FreeImage_VERSION "${_fi_MAJOR_VERSION}.${_fi_MINOR_VERSION}.${_fi_RELEASE_SERIAL}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(FreeImage
  REQUIRED_VARS FreeImage_LIBRARY FreeImage_INCLUDE_DIR
  VERSION_VAR FreeImage_VERSION)

if(FreeImage_FOUND AND NOT TARGET FreeImage::FreeImage)
  add_library(FreeImage::FreeImage UNKNOWN IMPORTED)
  set_target_properties(FreeImage::FreeImage PROPERTIES
    IMPORTED_LOCATION "${FreeImage_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${FreeImage_INCLUDE_DIR}")
endif()

mark_as_advanced(FreeImage_INCLUDE_DIR FreeImage_LIBRARY)
