#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds the installed oneTBB version from Debian's source package (--headers-only: copies the
# installed headers) into build/onetbb/NAME. quilt applies Debian's patches, then those of the
# version's series, docs/onetbb/SERIES/*.patch (SERIES the newest first version not above it),
# added to the series as averaging-*.patch, as a distributor would. --own-tests: also builds and
# runs oneTBB's own tests of what those patches touch. Cached until the arguments, this script or
# the patches change.
# Usage: scripts/build-onetbb.sh NAME [--headers-only | [--own-tests] CMAKE_ARGUMENT...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "build/onetbb/$1") && shift
source=build/onetbb/source
if [[ ${1-} == --headers-only ]]; then source=/usr; else scripts/fetch-onetbb-source.sh; fi
scripts/install-deps.sh quilt
own_tests=() && [[ ${1-} == --own-tests ]] && shift &&
  own_tests=({test,conformance}_{parallel_for_each,global_control,task_arena} test_eh_{algorithms,thread})
version=$(dpkg-query -W -f='${Version}' "libtbb-dev:$(dpkg --print-architecture)")
for dir in docs/onetbb/20*/; do (( ${dir:12:4} <= ${version:0:4} )) && series=$dir; done
shopt -s nullglob
LC_COLLATE=C patches=(${series:+"$series"*.patch})
stamp=$(printf '%s\n' "${own_tests[@]}" "$@" "${patches[@]}" &&
  cat scripts/build-onetbb.sh "${patches[@]}" | sha256sum)
[[ $(cat "$root/stamp" 2>/dev/null) == "$stamp" ]] && exit 0
# Patched in a copy of its own: the unpacked source is shared by every build.
rm -rf --one-file-system "$root" && mkdir -p "$root/source/include" "$root/source/debian/patches"
if [[ $source == /usr ]]; then cp -a /usr/include/oneapi "$root/source/include/"
else cp -a "$source/." "$root/source"; fi
for patch in "${patches[@]}"; do  # the installed headers take the patches to headers alone
  [[ $source == /usr ]] && grep '^+++ ' "$patch" | grep -qv '^+++ b/include/' && continue
  cp "$patch" "$root/source/debian/patches/averaging-${patch##*/}"
  echo "averaging-${patch##*/}" >>"$root/source/debian/patches/series"
done
cd "$root/source" && export QUILT_PATCHES=debian/patches  # made for the installed headers too
if [[ -s $QUILT_PATCHES/series ]] && ! quilt push -a -q --fuzz=0 >"$root.log" 2>&1; then
  failed=$(quilt next) && failed=${failed##*/}
  echo "${failed/#averaging-/$series} does not apply to oneTBB $version" >&2 && exit 1
fi
cd "$OLDPWD"
[[ $source == /usr ]] && { echo "$stamp" >"$root/stamp"; exit 0; }
# No strict build: GCC 12 warns on oneTBB's fences. Tests configured after, to build just those.
{ cmake -S "$root/source" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX="$root/install" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_PROJECT_INCLUDE="$PWD/cmake/source-path.cmake" -DTBB_TEST=OFF -DTBB_STRICT=OFF \
    -DTBB_EXAMPLES=OFF -DTBB_DISABLE_HWLOC_AUTOMATIC_SEARCH=ON "$@" &&
  cmake --build "$root/build" -j "${BUILD_JOBS:-2}" &&
  if [[ -n ${own_tests[*]} ]]; then cmake "$root/build" -DTBB_TEST=ON &&
    cmake --build "$root/build" -j "${BUILD_JOBS:-2}" --target "${own_tests[@]}" &&
    (IFS='|' && ctest --test-dir "$root/build" -j 2 --output-on-failure -R "^(${own_tests[*]})\$"); fi
} >>"$root.log" 2>&1 || { tail -n 30 "$root.log" >&2; exit 1; }
for part in runtime devel; do cmake --install "$root/build" --component $part >/dev/null; done
[[ -z ${own_tests[*]} ]] || sed -n "s/^100% tests passed/oneTBB's own tests of the patches: &/p" "$root.log"
echo "$stamp" >"$root/stamp" && echo "oneTBB (${root##*/}) in $root/install, with: ${patches[*]}"
