#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Checks the Debian packages that make package left in DIR on a bare Debian RELEASE of their own.
# This machine's architecture: autopkgtest (its null runner, in that system) installs the .deb
# and runs the source package's tests against the installed program; hardening-check finds the
# release's hardening in it (but for what no program linked by Debian's amd64 toolchain passes:
# control-flow integrity and, on Debian 13, branch protection); and piuparts installs, removes
# and purges the .deb in a chroot made from the same minbase system, and finds nothing left over.
# Another architecture: with that architecture added and qemu-user, apt-get installs the .deb,
# `man averaging` shows its page, and DIR's program_tests (built for it, run under EMULATOR) holds
# the program on the PATH to the end-to-end contract.
# A script because each check needs a bare system of its release, which fresh-debian.sh makes.
# Usage: scripts/check-deb.sh RELEASE DIR [EMULATOR]
set -euo pipefail
cd "$(dirname "$0")/.."
release=$1 dir=$2 emulator=${3:-}
deb=$(compgen -G "$dir/averaging_*.deb")
arch=$(dpkg-deb --field "$deb" Architecture)
echo "== $deb on a bare Debian $release"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
if [[ -n $emulator ]]; then
  scripts/fresh-debian.sh "$release" "dpkg --add-architecture $arch && apt-get update -qq
    apt-get install -y -qq --no-install-recommends qemu-user man-db ../$(basename "$deb") >/dev/null
    man -P cat averaging | grep -q '^EXIT STATUS'
    AVERAGING_PROGRAM=\$(command -v averaging) $emulator ../program_tests \
      --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract" "$deb" "$dir/program_tests"
  exit
fi
scripts/fresh-debian.sh "$release" "apt-get update -qq
  apt-get install -y -qq --no-install-recommends autopkgtest devscripts piuparts >/dev/null
  autopkgtest ../$(basename "$deb") ../averaging_*.dsc -- null
  no_branch=\$(hardening-check --help | grep -o -m 1 -- --nobranchprotection || true)
  hardening-check --nocfprotection \$no_branch /usr/bin/averaging
  mirror=\$(awk '\$1 == \"deb\" { print \$2; exit }' /etc/apt/sources.list)
  piuparts --basetgz ../$release-minbase.tar.gz -d $release -m \$mirror ../$(basename "$deb")" \
  "$deb" "$dir"/averaging_*.dsc "$dir"/averaging_*.tar.xz "build/fresh-debian/$release-minbase.tar.gz"
