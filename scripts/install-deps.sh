#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs the given Debian packages where they are missing; does nothing, and so needs neither
# the network nor root, when all are present. NAME means NAME for the native architecture (or an
# architecture-independent one); NAME:ARCH means that architecture's, which is added to dpkg
# first where it is missing. One index that the archive serves badly does not stop an install that
# needs nothing from it: only a package that cannot be installed does, with one line naming it and
# apt's own reason.
# A script because apt-get has no way to do nothing, offline and without root, when all is there.
# Usage: scripts/install-deps.sh PACKAGE[:ARCH]...
set -euo pipefail

native=$(dpkg --print-architecture)
installed() {
  local arch=$native
  [[ $1 == *:* ]] && arch=${1#*:}
  grep -qE "^($arch|all) install ok installed$" \
    <<<"$(dpkg-query -W -f='${Architecture} ${Status}\n' "${1%%:*}" 2>/dev/null)"
}

missing=()
for package in "$@"; do installed "$package" || missing+=("$package"); done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
for package in "${missing[@]}"; do
  arch=${package#*:}
  if [[ $package == *:* && $arch != "$native" ]] &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${as_root[@]}" dpkg --add-architecture "$arch"
  fi
done
# Another apt or dpkg at work (an unattended upgrade, say) is waited for, up to 5 minutes.
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3
  -o DPkg::Lock::Timeout=300)
echo "Installing: ${missing[*]}"
if ! "${apt[@]}" update -qq; then
  echo "install-deps: an index could not be updated (see above); going on with the others" >&2
fi
# One line naming what the archive lacks, before anything is installed or built.
for package in "${missing[@]}"; do
  if ! grep -q 'Candidate: [^(]' <<<"$(apt-cache policy "$package" 2>/dev/null)"; then
    echo "install-deps: the archive does not serve $package" >&2
    exit 1
  fi
done
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" && exit 0
# Which of them failed, and why: each on its own.
failed=0
for package in "${missing[@]}"; do
  if ! errors=$("${apt[@]}" install -y -qq --no-install-recommends "$package" 2>&1 >/dev/null); then
    echo "install-deps: cannot install $package: $(grep -m 1 '^E: ' <<<"$errors" || echo "$errors")" >&2
    failed=1
  fi
done
exit "$failed"
