#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Unpacks the source of exactly the installed oneTBB version from Debian's source package into
# DEST (default build/onetbb/source), with a private apt state that leaves the system's alone;
# nothing when DEST is there. A script because apt-get source needs deb-src entries the system
# lacks, and a .dsc that Debian 13's archive does not serve for this package: so the tarballs come
# by the signed Sources index's URIs and SHA-256 sums, unpacked as dpkg-source does "3.0 (quilt)",
# but for its patches, which scripts/build-onetbb.sh applies with quilt.
# Usage: scripts/fetch-onetbb-source.sh [DEST]
set -euo pipefail
cd "$(dirname "$0")/.."
dest=$(realpath -m "${1:-build/onetbb/source}")
[[ -f "$dest/CMakeLists.txt" ]] && exit 0

scripts/install-deps.sh dpkg-dev libtbb-dev
version=$(dpkg-query -W -f='${Version}' "libtbb-dev:$(dpkg --print-architecture)")
state=$(realpath -m build/onetbb/apt)
rm -rf "$state/sourceparts" "$state/work"
mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/sourceparts" \
  "$state/work/tree"
apt_private=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
             -o Dir::Etc::SourceParts="$state/sourceparts"
             -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache")
# The system's own sources, asking for source packages instead of binaries.
apt-get indextargets --no-release-info 'Identifier: Packages' \
  --format 'deb-src $(REPO_URI) $(RELEASE) $(COMPONENT)' | sort -u >"$state/sourceparts/src.list"
apt-get "${apt_private[@]}" update -qq

fail() { echo "oneTBB $version: the archive did not serve Debian's source package of it" >&2; exit 1; }
uris=$(apt-get "${apt_private[@]}" source --print-uris -qq "onetbb=$version" | grep "^'") || fail
while read -r uri name _ hash; do
  [[ $name == *.dsc ]] && continue
  /usr/lib/apt/apt-helper -o APT::Sandbox::User=root \
    download-file "${uri//\'/}" "$state/work/$name" "$hash" >/dev/null || fail
done <<<"$uris"
tree=$state/work/tree
tar -xf "$(compgen -G "$state/work/onetbb_*.orig.tar.*")" -C "$tree" --strip-components=1
tar -xf "$(compgen -G "$state/work/onetbb_*.debian.tar.*")" -C "$tree"
[[ -f "$tree/CMakeLists.txt" ]] || fail
mkdir -p "$(dirname "$dest")" && rm -rf "$dest" && mv "$tree" "$dest"
echo "oneTBB $version source in $dest"
