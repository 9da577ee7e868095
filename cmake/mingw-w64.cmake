# Cross-building for 64-bit Windows with Debian's MinGW-w64 (posix threads,
# which std::thread needs). FOTOLISTA_WINDOWS_PREFIX is where the libraries
# cross-built for it live; nothing of the host's own libraries may be found.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-gcc-ranlib-posix CACHE FILEPATH "")
if(NOT FOTOLISTA_WINDOWS_PREFIX AND DEFINED ENV{FOTOLISTA_WINDOWS_PREFIX})
  set(FOTOLISTA_WINDOWS_PREFIX "$ENV{FOTOLISTA_WINDOWS_PREFIX}")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${FOTOLISTA_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests and helper programs built here run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
