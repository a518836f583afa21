# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Windows console programs cross-compiled with mingw-w64's posix-threads g++ for
# AVERAGING_WINDOWS_PROCESSOR, i686 or x86_64 (the presets set it).
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AVERAGING_WINDOWS_PROCESSOR)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${AVERAGING_WINDOWS_PROCESSOR})
set(triplet ${AVERAGING_WINDOWS_PROCESSOR}-w64-mingw32)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
  # oneTBB uses SSE intrinsics, which the i686 default target lacks.
  set(CMAKE_C_FLAGS_INIT -msse2)
  set(CMAKE_CXX_FLAGS_INIT -msse2)
endif()
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
