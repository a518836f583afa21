#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds the installed oneTBB version from Debian's source (--headers-only: copies its headers)
# into build/onetbb/NAME, with the patches of its series, docs/onetbb/SERIES/*.patch (SERIES the
# newest first version not above it), kept as averaging-*.patch for the notices. Cached until the
# arguments, this script or the patches change.
# Usage: scripts/build-onetbb.sh NAME [--headers-only | CMAKE_ARGUMENT...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "build/onetbb/$1") && shift
source=build/onetbb/source
if [[ ${1-} == --headers-only ]]; then source=/usr; else scripts/fetch-onetbb-source.sh; fi
major=$(sed -n 's/^#define TBB_VERSION_MAJOR \([0-9]*\).*/\1/p' \
  "$source/include/oneapi/tbb/version.h")
for dir in docs/onetbb/20*/; do (( ${dir:12:4} <= major )) && series=$dir; done
shopt -s nullglob
LC_COLLATE=C patches=(${series:+"$series"*.patch})
stamp=$(printf '%s\n' "$@" "${patches[@]}" && cat scripts/build-onetbb.sh "${patches[@]}" | sha256sum)
[[ $(cat "$root/stamp" 2>/dev/null) == "$stamp" ]] && exit 0
# Patched in a copy of its own: the unpacked source is shared by every build.
rm -rf --one-file-system "$root" && mkdir -p "$root/source/include"
if [[ $source == /usr ]]; then cp -a /usr/include/oneapi "$root/source/include/"
else cp -a "$source/." "$root/source"; fi
for patch in "${patches[@]}"; do
  patch -d "$root/source" -p1 --forward --batch --no-backup-if-mismatch -s <"$patch" ||
    { echo "$patch does not apply to oneTBB's source" >&2; exit 1; }
  cp "$patch" "$root/source/averaging-${patch##*/}"
done
[[ ${1-} == --headers-only ]] && { echo "$stamp" >"$root/stamp"; exit 0; }
# GCC 12 warns on oneTBB's fences, hence no strict (warnings as errors) build.
{ cmake -S "$root/source" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX="$root/install" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_PROJECT_INCLUDE="$PWD/cmake/source-path.cmake" -DTBB_TEST=OFF -DTBB_STRICT=OFF \
    -DTBB_EXAMPLES=OFF -DTBB_DISABLE_HWLOC_AUTOMATIC_SEARCH=ON "$@" &&
  cmake --build "$root/build" -j "${BUILD_JOBS:-2}"; } >"$root.log" 2>&1 ||
  { tail -n 30 "$root.log" >&2; exit 1; }
for part in runtime devel; do cmake --install "$root/build" --component $part >/dev/null; done
echo "$stamp" >"$root/stamp" && echo "oneTBB (${root##*/}) installed in $root/install"
