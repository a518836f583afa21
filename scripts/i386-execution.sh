#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Tells how this machine runs 32-bit x86 Linux programs, and says so in one line on standard
# error: prints "native" where the kernel executes them itself, "emulated" where it refuses them
# (some x86-64 kernels are built or booted without 32-bit support), and then installs qemu-i386
# to run them. I386_EXECUTION=emulated (or native) forces the way on any machine.
# Usage: scripts/i386-execution.sh
set -euo pipefail
cd "$(dirname "$0")/.."

way=${I386_EXECUTION:-}
case $way in
  native | emulated) reason="forced by I386_EXECUTION=$way" ;;
  "")
    # A 32-bit process that the kernel runs itself sees the machine as x86_64; under qemu-i386,
    # to which a binfmt_misc entry may hand every such program, it sees i686. So an entry that
    # is already registered does not pass for the kernel's own support.
    probe=build/i386-probe/sees-x86_64
    if [[ ! -x $probe ]]; then
      scripts/install-deps.sh gcc-multilib >&2
      mkdir -p "$(dirname "$probe")"
      printf '%s\n' '#include <string.h>' '#include <sys/utsname.h>' \
        'int main(void) { struct utsname u; return uname(&u) || strcmp(u.machine, "x86_64"); }' |
        gcc -m32 -static -x c - -o "$probe.partial"
      mv "$probe.partial" "$probe"
    fi
    status=0
    { "$probe"; } 2>/dev/null || status=$?  # also quiet when the kernel kills it
    case $status in
      0) way=native reason="the kernel executes them" ;;
      1) way=emulated reason="a binfmt_misc entry hands them to an emulator" ;;
      *) way=emulated reason="the kernel refuses them" ;;
    esac
    ;;
  *)
    echo "I386_EXECUTION must be native or emulated, not '$way'" >&2
    exit 1
    ;;
esac

if [[ $way == emulated ]]; then
  scripts/install-deps.sh qemu-user >&2
  echo "32-bit x86 programs run emulated ($reason): i386 Linux under qemu-i386," \
    "Windows tested as 64-bit under wine64" >&2
else
  echo "32-bit x86 programs run natively ($reason)" >&2
fi
echo "$way"
