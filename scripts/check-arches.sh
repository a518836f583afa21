#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds and tests the program for other Debian architectures, each in a bare Debian RELEASE of
# its own, so that their packages never touch this machine's: `make test-arch` for each ARCH, and
# for arm64 also its Debian package, cross-built by dpkg-buildpackage, then installed with apt-get
# on another bare system (the :arm64 libraries must come in), where `man averaging` shows its page
# and the program on the PATH, under qemu, keeps the end-to-end contract.
# An architecture whose packages the archive cannot serve is reported as skipped, with the
# archive's reason; arm64 never may be.
# Usage: scripts/check-arches.sh RELEASE ARCH...
set -euo pipefail
cd "$(dirname "$0")/.."
release=$1
shift
out=build/fresh-debian/$release-out
mkdir -p build/arches
for arch in "$@"; do
  log=build/arches/$arch.log
  commands="./make.sh test-arch ARCH=$arch"
  if [[ $arch == arm64 ]]; then
    commands+="
      ./make.sh package ARCH=$arch
      mkdir -p ../out
      cp build/packages/averaging_*_$arch.deb build/$arch/tests/program_tests ../out/"
  fi
  echo "== $arch on a bare Debian $release (log: $log)"
  start=$SECONDS
  if ! scripts/fresh-debian.sh "$release" "$commands" >"$log" 2>&1; then
    reason=$(grep -m 1 -E '^install-deps: cannot install' "$log" || true)
    if [[ -n $reason && $arch != arm64 ]]; then
      echo "$arch: skipped, ${reason#install-deps: }"
      grep -m 1 '^E: Failed to fetch' "$log" || true  # what the archive answered, a 404 say
      continue
    fi
    tail -n 40 "$log" >&2
    echo "$arch: failed" >&2
    exit 1
  fi
  grep -E 'tests passed|the suite ran' "$log"
  echo "$arch: passed in $((SECONDS - start)) s"
  if [[ $arch == arm64 ]]; then
    deb=$(basename "$(compgen -G "$out/averaging_*_$arch.deb")")
    echo "== $deb on a bare Debian $release"
    scripts/fresh-debian.sh "$release" "dpkg --add-architecture $arch && apt-get update -qq
      apt-get install -y -qq --no-install-recommends qemu-user man-db ../$deb >/dev/null
      man -P cat averaging | grep -q '^EXIT STATUS'
      AVERAGING_PROGRAM=\$(command -v averaging) qemu-aarch64 ../program_tests \
        --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract" "$out/$deb" "$out/program_tests"
  fi
done
