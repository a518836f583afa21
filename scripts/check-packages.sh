#!/usr/bin/env bash
# Checks the packages in build/packages as a user meets them: the Debian package installed with
# apt-get on a bare Debian 12 and run from the PATH, and the Windows zip unzipped into an empty
# folder and run in a brand-new Wine prefix. Every run must keep the end-to-end test's report
# contract: its program_tests runs the packaged program that AVERAGING_PROGRAM names.
# Needs the packages (make package package-windows) and both test builds (make test test-windows).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
version=$(sed -nE 's/^project\(averaging VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
deb=build/packages/averaging_${version}_$(dpkg --print-architecture).deb
zip=build/packages/averaging-$version-win32.zip
contract=--gtest_filter=ProgramTest.EveryRunKeepsTheReportContract

echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
scripts/fresh-debian.sh bookworm "apt-get update -qq
  apt-get install -y -qq ../$(basename "$deb") >/dev/null
  AVERAGING_PROGRAM=\$(command -v averaging) ../program_tests $contract" \
  "$deb" build/release/tests/program_tests

echo "== $zip"
cmake -E tar tf "$zip"
programs=$(cmake -E tar tf "$zip" | grep -c '\.exe$' || true)
[[ $programs -eq 1 ]] || { echo "$zip holds $programs programs, not one" >&2; exit 1; }
# Outside the build tree, where no DLL of the builds lies beside the program or in its way.
folder=$(mktemp -d "${TMPDIR:-/tmp}/averaging-windows.XXXXXX")
trap 'rm -rf --one-file-system "$folder"' EXIT
cd "$folder"
cmake -E tar xf "$repo/$zip"
WINEPREFIX="$folder/wineprefix" AVERAGING_PROGRAM="Z:$folder/averaging-$version-win32/averaging.exe" \
  "$repo/scripts/wine-run.sh" "$repo/build/windows/bin/program_tests.exe" "$contract"
