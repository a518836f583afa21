#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs the given Debian packages where they are missing; does nothing, and so needs neither
# the network nor root, when all are present. NAME means NAME for the native architecture (or an
# architecture-independent one); NAME:ARCH means that architecture's.
# Usage: scripts/install-deps.sh PACKAGE[:ARCH]...
set -euo pipefail

native=$(dpkg --print-architecture)
installed() {
  local name=${1%%:*} arch=$native
  [[ $1 == *:* ]] && arch=${1#*:}
  local instances
  instances=$(dpkg-query -W -f='${Architecture} ${Status}\n' "$name" 2>/dev/null || true)
  grep -qE "^($arch|all) install ok installed$" <<<"$instances"
}

missing=()
for package in "$@"; do
  installed "$package" || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
# One line naming what the archive lacks, before anything is installed or built.
for package in "${missing[@]}"; do
  if ! grep -q 'Candidate: [^(]' <<<"$(apt-cache policy "$package" 2>/dev/null)"; then
    echo "install-deps: the archive does not serve $package" >&2
    exit 1
  fi
done
if ! DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq \
    --no-install-recommends "${missing[@]}"; then
  echo "install-deps: the archive did not serve all of: ${missing[*]} (see apt's errors above)" >&2
  exit 1
fi
