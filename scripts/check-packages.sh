#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Checks the Windows zips in build/packages as a user meets them (what CPack packed into each,
# cmake/package-staging.cmake has already checked): each holds one program, carrying the version
# in its file properties; and each zip that this machine can run is unzipped into an empty folder
# and its program run in a brand-new Wine prefix (the 32-bit one only where 32-bit programs run:
# Wine never runs under qemu), held to the end-to-end test's report contract: program_tests runs
# the packaged program that AVERAGING_PROGRAM names.
# Needs the zips (make package-windows) and the release build (make test).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
version=$(sed -nE 's/^project\(averaging VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
way=$(scripts/i386-execution.sh)
# Outside the build tree, where no DLL of the builds lies beside the program or in its way.
folder=$(mktemp -d "${TMPDIR:-/tmp}/averaging-windows.XXXXXX")
trap 'rm -rf --one-file-system "$folder"' EXIT
for bits in 32 64; do
  name=averaging-$version-win$bits
  zip=$repo/build/packages/$name.zip
  echo "== $zip"
  entries=$(cmake -E tar tf "$zip")
  echo "$entries"
  programs=$(grep -c '\.exe$' <<<"$entries" || true)
  [[ $programs -eq 1 ]] || { echo "$zip holds $programs programs, not one" >&2; exit 1; }
  mkdir "$folder/$bits"
  (cd "$folder/$bits" && cmake -E tar xf "$zip")
  grep -qx "$version" <<<"$(strings -el "$folder/$bits/$name/averaging.exe")" ||
    { echo "$zip: averaging.exe carries no version $version" >&2; exit 1; }
  echo "$name.zip: one program, version $version"
  if [[ $bits == 32 && $way != native ]]; then
    echo "$name.zip: not run, this machine cannot run 32-bit programs"
    continue
  fi
  preset=windows
  [[ $bits == 32 ]] || preset=windows64
  cmake --build "build/$preset" -j "${BUILD_JOBS:-2}" --target program_tests >/dev/null
  (
    cd "$folder/$bits"
    export WINEPREFIX=$folder/$bits/wineprefix
    AVERAGING_PROGRAM="Z:$folder/$bits/$name/averaging.exe" \
      "$repo/scripts/wine-run.sh" "$repo/build/$preset/bin/program_tests.exe" \
      --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract
    wineserver --wait  # before the prefix is removed under it
  )
  echo "$name.zip: its program ran in a brand-new win$bits Wine prefix"
done
