#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# On a bare Debian RELEASE: the README's two commands, beside an unreachable apt source; the
# contract under a one-CPU quota; every fault sweep; the packages built (without the suite, run
# just before) and judged; reuse lint; the hardening flags. On another: autopkgtest against the
# installed .deb; hardening-check (but for control-flow integrity and branch protection, which
# Debian's amd64 toolchain never gives); piuparts. The packages stay in build/bare-RELEASE.
# A script because each check needs bare systems of its release, which fresh-debian.sh makes.
# Usage: scripts/check-release.sh RELEASE
set -euo pipefail
cd "$(dirname "$0")/.."
release=$1 out=build/bare-$1
scripts/fresh-debian.sh "$release" "
  echo 'deb http://127.0.0.1:9/debian $release main' >/etc/apt/sources.list.d/unreachable.list
  $(scripts/readme-commands.sh)
  DEB_BUILD_OPTIONS=nocheck ./make.sh check-cpu-quota fault-injection package check-package
  apt-get install -y -qq --no-install-recommends git reuse >/dev/null && reuse lint
  grep -E -- '-fstack-clash-protection.* -fcf-protection' \
    build/release/CMakeFiles/averaging.dir/flags.make
  mkdir -p ../out && cp build/packages/averaging* ../out/"
rm -rf "$out" && mv "build/fresh-debian/$release-out" "$out"

deb=$(basename "$(compgen -G "$out/averaging_*_$(dpkg --print-architecture).deb")")
echo "== $deb on a bare Debian $release"
dpkg-deb --info "$out/$deb" && dpkg-deb --contents "$out/$deb"
scripts/fresh-debian.sh "$release" "apt-get update -qq
  apt-get install -y -qq --no-install-recommends autopkgtest devscripts piuparts >/dev/null
  autopkgtest ../$deb ../averaging_*.dsc -- null
  no_branch=\$(hardening-check --help | grep -o -m 1 -- --nobranchprotection || true)
  hardening-check --nocfprotection \$no_branch /usr/bin/averaging
  mirror=\$(awk '\$1 == \"deb\" { print \$2; exit }' /etc/apt/sources.list)
  piuparts --basetgz ../$release-minbase.tar.gz -d $release -m \$mirror ../$deb" \
  "$out/$deb" "$out"/averaging_*.dsc "$out"/averaging_*.tar.xz \
  "build/fresh-debian/$release-minbase.tar.gz"
