#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Runs a 32-bit x86 Linux program the way this machine can (scripts/i386-execution.sh): itself,
# or under qemu-i386. CMake's cross-compiling emulator for the i386 build, and how its end-to-end
# test starts the program; the way is passed on to what the program starts in turn.
# Usage: scripts/i386-run.sh PROGRAM [ARGUMENT...]
set -euo pipefail
if [[ -z ${I386_EXECUTION:-} ]]; then
  I386_EXECUTION=$("$(dirname "$0")/i386-execution.sh" 2>/dev/null)
fi
export I386_EXECUTION
[[ $I386_EXECUTION == emulated ]] && exec qemu-i386 "$@"
exec "$@"
