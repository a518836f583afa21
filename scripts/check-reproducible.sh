#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Proves the packages reproducible: builds the Debian package and both Windows zips of the
# committed HEAD twice, in two clones at different paths, one after the other, each from nothing
# (oneTBB for Windows included), and fails unless the two builds' packages are byte-identical.
# Where they differ, diffoscope shows how (its first 200 lines).
# Usage: scripts/check-reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh git diffoscope-minimal
work=$(realpath -m build/reproducible)
rm -rf --one-file-system "$work"
clones=("$work/one" "$work/another/at/a/longer/path")
for clone in "${clones[@]}"; do
  mkdir -p "$(dirname "$clone")"
  git clone -q "$PWD" "$clone"
  echo "== building the packages in $clone"
  if ! (cd "$clone" && make --no-print-directory package package-windows >"$clone.log" 2>&1); then
    tail -n 30 "$clone.log" >&2
    exit 1
  fi
done

first=${clones[0]}/build/packages second=${clones[1]}/build/packages
packages=$(cd "$first" && ls ./*.deb ./*.zip SHA256SUMS)
if [[ "$packages" != "$(cd "$second" && ls ./*.deb ./*.zip SHA256SUMS)" ]]; then
  echo "the two builds made different packages" >&2
  exit 1
fi
differ=0
for package in $packages; do
  if cmp -s "$first/$package" "$second/$package"; then
    echo "${package#./}: identical in both builds"
  else
    echo "${package#./}: the two builds differ" >&2
    diffoscope "$first/$package" "$second/$package" | head -n 200 || true
    differ=1
  fi
done
[[ $differ -eq 0 ]]
rm -rf --one-file-system "$work"
