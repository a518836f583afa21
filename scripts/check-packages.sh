#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Checks the Windows zips in build/packages as a user meets them: each holds one program, with
# the version in its file properties; each this machine can run (32-bit only where 32-bit programs
# run) is unzipped into an empty folder and run in a brand-new Wine prefix, held to the report
# contract, and served by oneTBB's allocator library (which says so where TBB_VERSION is set).
# A script because each zip needs a folder and a Wine prefix of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
version=$(sed -nE 's/^project\(averaging VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
way=$(scripts/i386-execution.sh)
# Outside the build tree, where no DLL of the builds lies beside the program or in its way.
folder=$(mktemp -d "${TMPDIR:-/tmp}/averaging-windows.XXXXXX")
trap 'rm -rf --one-file-system "$folder"' EXIT
for preset in windows windows64; do
  bits=64 && [[ $preset == windows ]] && bits=32
  name=averaging-$version-win$bits
  echo "== build/packages/$name.zip"
  entries=$(cmake -E tar tf "build/packages/$name.zip")
  echo "$entries"
  [[ $(grep -c '\.exe$' <<<"$entries") -eq 1 ]] || { echo "$name.zip: not one program" >&2; exit 1; }
  mkdir "$folder/$bits" && (cd "$folder/$bits" && cmake -E tar xf "$repo/build/packages/$name.zip")
  grep -qx "$version" <<<"$(strings -el "$folder/$bits/$name/averaging.exe")" ||
    { echo "$name.zip: averaging.exe carries no version $version" >&2; exit 1; }
  if [[ $bits == 32 && $way != native ]]; then
    echo "$name.zip: one program, version $version; not run, 32-bit programs do not run here"
    continue
  fi
  cmake --build --preset "$preset" --target program_tests >/dev/null
  (
    cd "$folder/$bits"
    export WINEPREFIX=$folder/$bits/wineprefix
    AVERAGING_PROGRAM="Z:$folder/$bits/$name/averaging.exe" \
      "$repo/scripts/wine-run.sh" "$repo/build/$preset/bin/program_tests.exe" \
      --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract
    TBB_VERSION=1 "$repo/scripts/wine-run.sh" "$folder/$bits/$name/averaging.exe" 2>&1 >/dev/null |
      grep '^TBBmalloc: VERSION' || { echo "$name.zip: oneTBB not on tbbmalloc.dll" >&2; exit 1; }
    wineserver --wait  # before the prefix is removed under it
  )
  echo "$name.zip: one program, version $version, run in a brand-new win$bits Wine prefix"
done
