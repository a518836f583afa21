#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# `make test-arch` for each ARCH in a bare Debian RELEASE of its own, so no foreign package touches
# this machine; arm64's package is cross-built there and installed on another bare system, where
# its man page shows and its program keeps the end-to-end contract under qemu. An architecture
# the archive cannot serve is reported skipped with the archive's reason; arm64 never may be.
# A script because each architecture needs bare systems of its own, which fresh-debian.sh makes.
# Usage: scripts/check-arches.sh RELEASE ARCH...
set -euo pipefail
cd "$(dirname "$0")/.."
release=$1 out=build/fresh-debian/$1-out && shift
mkdir -p build/arches
for arch in "$@"; do
  log=build/arches/$arch.log start=$SECONDS
  echo "== $arch on a bare Debian $release (log: $log)"
  if ! scripts/fresh-debian.sh "$release" "./make.sh test-arch ARCH=$arch
    if [ $arch = arm64 ]; then ./make.sh package ARCH=$arch && mkdir -p ../out &&
      cp build/packages/averaging_*_$arch.deb build/$arch/tests/program_tests ../out/; fi" \
    >"$log" 2>&1; then
    reason=$(grep -m 1 '^install-deps: cannot install' "$log" || true)
    [[ -n $reason && $arch != arm64 ]] || { tail -n 40 "$log" >&2; echo "$arch: failed" >&2; exit 1; }
    echo "$arch: skipped, ${reason#install-deps: }"
    grep -m 1 '^E: Failed to fetch' "$log" || true  # what the archive answered, a 404 say
    continue
  fi
  grep -E 'tests passed|the suite ran' "$log"
  echo "$arch: passed in $((SECONDS - start)) s"
  [[ $arch == arm64 ]] || continue
  deb=$(basename "$(compgen -G "$out/averaging_*_$arch.deb")")
  echo "== $deb on a bare Debian $release"
  scripts/fresh-debian.sh "$release" "dpkg --add-architecture $arch && apt-get update -qq
    apt-get install -y -qq --no-install-recommends qemu-user man-db ../$deb >/dev/null
    man -P cat averaging | grep -q '^EXIT STATUS'
    AVERAGING_PROGRAM=\$(command -v averaging) qemu-aarch64 ../program_tests \
      --gtest_filter=ProgramTest.EveryRunKeepsTheReportContract" "$out/$deb" "$out/program_tests"
done
