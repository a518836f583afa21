#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs the given Debian packages (NAME:ARCH adds ARCH to dpkg first), or with --build-deps
# debian/control's Build-Depends for those profiles and host (apt-get build-dep), where missing;
# with all there, needs no network and no root. A failure is one line, apt's.
# A script because apt-get has no way to do nothing, offline and without root, when all is there.
# Usage: scripts/install-deps.sh PACKAGE[:ARCH]...
#        scripts/install-deps.sh --build-deps [-P PROFILE[,...]] [-a ARCH]
set -euo pipefail
cd "$(dirname "$0")/.."
native=$(dpkg --print-architecture)
installed() {
  local arch=$native
  [[ $1 == *:* ]] && arch=${1#*:}
  grep -qE "^($arch|all) install ok installed$" \
    <<<"$(dpkg-query -W -f='${Architecture} ${Status}\n' "${1%%:*}" 2>/dev/null)"
}

arches=()
if [[ ${1:-} == --build-deps ]]; then
  shift
  while getopts P:a: option; do [[ $option == a ]] && arches+=("$OPTARG"); done
  if installed build-essential && dpkg-checkbuilddeps "$@" >/dev/null 2>&1; then exit 0; fi
  wanted=(build-dep "$@" ./) what="debian/control's build dependencies${*:+ ($*)}"
else
  wanted=(install)
  for package in "$@"; do  # never NAME-, which apt-get would take for "remove NAME"
    [[ $package == *- ]] && { echo "install-deps: no package is named $package" >&2; exit 1; }
    installed "$package" && continue
    wanted+=("$package")
    [[ $package == *:* ]] && arches+=("${package#*:}")
  done
  [[ ${#wanted[@]} -eq 1 ]] && exit 0
  what=${wanted[*]:1}
fi

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install $what" >&2; exit 1; }
  as_root=(sudo)
fi
for arch in "${arches[@]}"; do
  if [[ $arch != "$native" ]] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${as_root[@]}" dpkg --add-architecture "$arch"
  fi
done
# Another apt or dpkg at work (an unattended upgrade, say) is waited for, up to 5 minutes.
apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3
  -o DPkg::Lock::Timeout=300 -y -qq --no-install-recommends)
echo "Installing $what"
"${apt[@]}" update || echo "install-deps: an index could not be updated; going on without it" >&2
# apt names the package it cannot install (or the one whose dependency it cannot).
{ errors=$("${apt[@]}" "${wanted[@]}" 2>&1 >&3); } 3>&1 && exit 0
echo "$errors" >&2
echo "install-deps: cannot install $what: $(grep -m 1 -E ' Depends: |^E: ' <<<"$errors" |
  sed 's/^ *//')" >&2
exit 1
