#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs a Debian package of the program with apt-get on a bare Debian RELEASE, checks that
# `man averaging` shows its page and that its copyright file is there, that hardening-check finds
# the release's hardening in the program (but for the checks that no program linked by Debian's
# amd64 toolchain passes: control-flow integrity and, on Debian 13, branch protection), and holds
# the program it puts on the PATH to the end-to-end test's report contract: PROGRAM_TESTS, built
# on that release, runs the program that AVERAGING_PROGRAM names. A package for another
# architecture comes with that architecture added and qemu-user installed (and no hardening-check),
# and PROGRAM_TESTS, built for it, runs under EMULATOR (from qemu-user), as it starts the program.
# Usage: scripts/check-deb.sh RELEASE DEB PROGRAM_TESTS [EMULATOR]
set -euo pipefail
cd "$(dirname "$0")/.."
release=$1 deb=$2 tests=$3 emulator=${4:-}
arch=$(dpkg-deb --field "$deb" Architecture)
echo "== $deb on a bare Debian $release"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
hardening="apt-get install -y -qq --no-install-recommends devscripts >/dev/null
  no_branch=\$(hardening-check --help | grep -o -m 1 -- --nobranchprotection || true)
  hardening-check --nocfprotection \$no_branch /usr/bin/averaging"
foreign=""
if [[ -n $emulator ]]; then
  hardening=true
  foreign="dpkg --add-architecture $arch && apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends qemu-user"
fi
scripts/fresh-debian.sh "$release" "apt-get update -qq
  ${foreign:-true}
  apt-get install -y -qq man-db ../$(basename "$deb") >/dev/null
  dpkg-query -W 'libtbb12:*'
  test -f /usr/share/doc/averaging/copyright
  man -P cat averaging >../page && cat ../page && grep -q '^EXIT STATUS' ../page
  $hardening
  AVERAGING_PROGRAM=\$(command -v averaging) $emulator \
    ../$(basename "$tests") --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract" \
  "$deb" "$tests"
