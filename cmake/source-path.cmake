# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# No path of the source tree in what is built, so that builds in two places give the same
# binaries. Included by the project and, through CMAKE_PROJECT_INCLUDE, by oneTBB's own builds.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)
