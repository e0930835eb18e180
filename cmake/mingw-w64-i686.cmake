# SPDX-License-Identifier: LGPL-2.1-or-later
# Cross-builds the library, its stand-in libraries and its unit tests as 32-bit
# Windows programs with Debian's MinGW-w64 compiler (g++-mingw-w64-i686-posix):
#
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DCMAKE_PREFIX_PATH=<Qt 5 built for the target> -DTALVENO_BUILD_TOOLS=OFF
#
# The posix thread model is the one whose runtime has std::thread. Qt must come
# from the same compiler: the two thread models ship different runtime DLLs under
# one name. Where Wine is installed, CTest runs the programs with it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(talveno_mingw_triplet i686-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${talveno_mingw_triplet}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${talveno_mingw_triplet}-windres)

# Libraries and headers come from the target's root and from the prefixes named in
# CMAKE_PREFIX_PATH (Qt for the target), never from the build machine's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${talveno_mingw_triplet} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(talveno_wine NAMES wine)
if(talveno_wine AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${talveno_wine})
endif()
