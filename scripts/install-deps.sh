#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs what is missing: the given Debian packages (NAME:ARCH is that architecture's, which is
# added to dpkg first), or with --build-deps what debian/control's Build-Depends name for the given
# build profiles and host architecture (apt-get build-dep, with build-essential). Does nothing,
# and so needs neither the network nor root, when all is there. An index that the archive serves
# badly stops only an install that needs a package from it, with one line and apt's own reason.
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
  wanted=(build-dep "$@" ./)
else
  wanted=(install)
  for package in "$@"; do
    installed "$package" && continue
    wanted+=("$package")
    [[ $package == *:* ]] && arches+=("${package#*:}")
  done
  [[ ${#wanted[@]} -eq 1 ]] && exit 0
fi

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "need root or sudo to install: ${wanted[*]}" >&2; exit 1; }
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
if [[ ${wanted[0]} == install ]]; then
  echo "Installing: ${wanted[*]:1}"
else
  echo "Installing debian/control's build dependencies ($*)"
fi
if ! "${apt[@]}" update; then
  echo "install-deps: an index could not be updated (see above); going on with the others" >&2
fi
"${apt[@]}" "${wanted[@]}" && exit 0
if [[ ${wanted[0]} == build-dep ]]; then
  errors=$("${apt[@]}" "${wanted[@]}" 2>&1 >/dev/null) || true
  echo "install-deps: cannot install the build dependencies:" \
    "$(grep -m 1 -E 'Depends: |^E: ' <<<"$errors" | sed 's/^ *//')" >&2
  exit 1
fi
# Which of them failed, and why: each on its own.
for package in "${wanted[@]:1}"; do
  if ! errors=$("${apt[@]}" install "$package" 2>&1 >/dev/null); then
    echo "install-deps: cannot install $package: $(grep -m 1 '^E: ' <<<"$errors" || echo "$errors")" >&2
  fi
done
exit 1
