#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Prints "native" where the kernel runs 32-bit x86 programs itself, "emulated" (installing
# qemu-user) where it refuses them or only a binfmt_misc entry hands them to an emulator, and says
# which in a line on standard error. I386_EXECUTION=native or emulated forces the way.
# A script for those two additions to arch-test, whose -n keeps an emulator from passing.
set -euo pipefail
cd "$(dirname "$0")/.."
way=${I386_EXECUTION:-} reason="forced by I386_EXECUTION"
if [[ -z $way ]]; then
  scripts/install-deps.sh arch-test >&2
  way=emulated reason="the kernel does not run them itself"
  if arch-test -n i386 >/dev/null; then way=native reason="the kernel runs them"; fi
fi
[[ $way == native || $way == emulated ]] || { echo "I386_EXECUTION: native or emulated" >&2; exit 1; }
[[ $way == native ]] || scripts/install-deps.sh qemu-user >&2
echo "32-bit x86 programs run $way here ($reason)" >&2
echo "$way"
