#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Adds one of Debian's architectures (multiarch) where it is missing, so that its packages
# install beside the machine's own.
# Usage: scripts/enable-arch.sh ARCH   (i386, arm64, armhf, ...)
set -euo pipefail
arch=$1
[[ $arch == "$(dpkg --print-architecture)" ]] && exit 0
dpkg --print-foreign-architectures | grep -qx "$arch" && exit 0
as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)
"${as_root[@]}" dpkg --add-architecture "$arch"
"${as_root[@]}" apt-get update -qq
