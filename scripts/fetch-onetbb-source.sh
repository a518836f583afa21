#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Unpacks the source of exactly the installed oneTBB version from Debian's source package into
# DEST (default build/onetbb/source). Uses a private apt state, so the system's apt
# configuration and package lists are never changed. Does nothing when DEST is already there.
# A script because apt-get source needs deb-src entries the system lacks, and a .dsc that Debian
# 13 does not serve for this package.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=$(realpath -m "${1:-build/onetbb/source}")
[[ -f "$dest/CMakeLists.txt" ]] && exit 0

scripts/install-deps.sh dpkg-dev libtbb-dev
arch=$(dpkg --print-architecture)
version=$(dpkg-query -W -f='${Version}' "libtbb-dev:$arch")

state=$(realpath -m build/onetbb/apt)
mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/work"
apt_private=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
             -o Dir::Etc::SourceParts="$state/sourceparts"
             -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache")
# The system's own sources, asking for source packages instead of binaries.
rm -rf "$state/sourceparts"
mkdir -p "$state/sourceparts"
list=$state/sourceparts/onetbb-src.list
apt-get indextargets --no-release-info 'Identifier: Packages' \
  --format 'deb-src $(REPO_URI) $(RELEASE) $(COMPONENT)' | sort -u >"$list"
[[ -s $list ]] || { echo "no apt sources found" >&2; exit 1; }

# Some archives serve a source package's tarballs but not its .dsc (Debian 13's onetbb, seen
# here): then fetch the tarballs by the URIs and SHA-256 sums of the signed index, and unpack them
# as dpkg-source does for a "3.0 (quilt)" package: upstream, then debian/, then its patches.
# Every step checked, since errexit is off where the caller tests its status.
unpack_without_dsc() {
  local uris uri name hash patch tree=$state/work/onetbb-${version%-*}
  uris=$(apt-get "${apt_private[@]}" source --print-uris -qq "onetbb=$version" | grep "^'") ||
    return 1
  while read -r uri name _ hash; do
    [[ $name == *.dsc ]] && continue
    /usr/lib/apt/apt-helper -o APT::Sandbox::User=root \
      download-file "${uri//\'/}" "$state/work/$name" "$hash" || return 1
  done <<<"$uris"
  mkdir "$tree" &&
    tar -xf "$(compgen -G "$state/work/onetbb_*.orig.tar.*")" -C "$tree" --strip-components=1 &&
    tar -xf "$(compgen -G "$state/work/onetbb_*.debian.tar.*")" -C "$tree" || return 1
  [[ -f "$tree/debian/patches/series" ]] || return 0
  while read -r patch _; do
    [[ -z $patch || $patch == \#* ]] && continue
    patch -d "$tree" -p1 -s <"$tree/debian/patches/$patch" || return 1
  done <"$tree/debian/patches/series"
}

apt-get "${apt_private[@]}" update -qq
rm -rf "$state/work"/*
if ! (cd "$state/work" && apt-get "${apt_private[@]}" source -qq "onetbb=$version" 2>/dev/null)
then
  echo "onetbb $version: apt-get source failed (no .dsc?); unpacking the tarballs by their sums"
  rm -rf "$state/work"/*
  unpack_without_dsc >"$state/unpack.log" 2>&1 || rm -rf "$state/work"/*
fi
unpacked=$(find "$state/work" -mindepth 1 -maxdepth 1 -type d -name 'onetbb-*' | head -n 1)
if [[ ! -f "$unpacked/CMakeLists.txt" ]]; then
  echo "oneTBB $version: the archive did not serve Debian's source package onetbb of it" >&2
  exit 1
fi
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$unpacked" "$dest"
echo "oneTBB $version source in $dest"
