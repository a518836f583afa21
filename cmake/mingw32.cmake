# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# 32-bit Windows console programs, cross-compiled with mingw-w64's posix-threads g++.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(mingw_triplet i686-w64-mingw32)
# oneTBB uses SSE intrinsics, which the i686 default target lacks.
set(CMAKE_C_FLAGS_INIT -msse2)
set(CMAKE_CXX_FLAGS_INIT -msse2)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
