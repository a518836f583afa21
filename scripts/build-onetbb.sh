#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds the tbb library of the installed oneTBB version from Debian's source into
# build/onetbb/NAME/install, for a build that needs its own (sanitized, or for Windows). Cached.
# Usage: scripts/build-onetbb.sh NAME [CMAKE_ARGUMENT...]
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
shift
root=$(realpath -m "build/onetbb/$name")
[[ -f "$root/install/lib/cmake/TBB/TBBConfig.cmake" ]] && exit 0

scripts/fetch-onetbb-source.sh
# GCC 12 warns on oneTBB's fences, hence no strict (warnings as errors) build.
cmake -S build/onetbb/source -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX="$root/install" -DCMAKE_INSTALL_LIBDIR=lib \
  -DCMAKE_PROJECT_INCLUDE="$PWD/cmake/source-path.cmake" \
  -DTBB_TEST=OFF -DTBB_STRICT=OFF -DTBB_EXAMPLES=OFF -DTBBMALLOC_BUILD=OFF \
  -DTBB_DISABLE_HWLOC_AUTOMATIC_SEARCH=ON "$@" >"$root.configure.log" 2>&1
if ! cmake --build "$root/build" -j "${BUILD_JOBS:-2}" --target tbb >"$root.build.log" 2>&1; then
  tail -n 30 "$root.build.log" >&2
  exit 1
fi
cmake --install "$root/build" --component runtime >/dev/null
cmake --install "$root/build" --component devel >/dev/null
echo "oneTBB ($name) installed in $root/install"
