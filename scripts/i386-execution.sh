#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Tells how this machine runs 32-bit x86 Linux programs, and says so in one line on standard
# error: prints "native" where the kernel executes them itself, "emulated" where it refuses them
# (some x86-64 kernels are built or booted without 32-bit support) or only a binfmt_misc entry
# hands them to an emulator, and then installs qemu-i386 to run them. arch-test asks the kernel;
# -n keeps a registered emulator from passing for it. I386_EXECUTION=emulated (or native) forces
# the way on any machine. Kept as a script for those two additions to arch-test.
# Usage: scripts/i386-execution.sh
set -euo pipefail
cd "$(dirname "$0")/.."

way=${I386_EXECUTION:-}
reason="forced by I386_EXECUTION=$way"
if [[ -z $way ]]; then
  scripts/install-deps.sh arch-test >&2
  way=emulated reason="the kernel refuses them"
  if arch-test -n i386 >/dev/null; then
    way=native reason="the kernel executes them"
  elif arch-test i386 >/dev/null; then
    reason="a binfmt_misc entry hands them to an emulator"
  fi
elif [[ $way != native && $way != emulated ]]; then
  echo "I386_EXECUTION must be native or emulated, not '$way'" >&2
  exit 1
fi

if [[ $way == emulated ]]; then
  scripts/install-deps.sh qemu-user >&2
  echo "32-bit x86 programs run emulated ($reason): i386 Linux under qemu-i386," \
    "Windows tested as 64-bit under wine64" >&2
else
  echo "32-bit x86 programs run natively ($reason)" >&2
fi
echo "$way"
