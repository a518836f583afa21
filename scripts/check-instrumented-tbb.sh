#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Fails unless each given binary loads the ThreadSanitizer-instrumented oneTBB built in
# build/onetbb/tsan: against Debian's libtbb, a clean run would prove nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
expected=$(realpath build/onetbb/tsan/install/lib)
for binary in "$@"; do
  loaded=$(ldd "$binary" | awk '$1 == "libtbb.so.12" { print $3 }')
  if [[ "$(dirname "$(realpath "$loaded")")" != "$expected" ]]; then
    echo "$binary loads '$loaded', not the instrumented oneTBB in $expected" >&2
    exit 1
  fi
done
echo "instrumented oneTBB loaded from $expected"
