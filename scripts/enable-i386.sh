#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Adds Debian's i386 architecture (multiarch) where it is missing, so i386 packages install.
set -euo pipefail
dpkg --print-foreign-architectures | grep -qx i386 && exit 0
as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)
"${as_root[@]}" dpkg --add-architecture i386
"${as_root[@]}" apt-get update -qq
