#!/usr/bin/env bash
# Unpacks the source of exactly the installed oneTBB version from Debian's source package into
# DEST (default build/onetbb/source). Uses a private apt state, so the system's apt
# configuration and package lists are never changed. Does nothing when DEST is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=$(realpath -m "${1:-build/onetbb/source}")
[[ -f "$dest/CMakeLists.txt" ]] && exit 0

scripts/install-deps.sh dpkg-dev libtbb-dev
arch=$(dpkg --print-architecture)
version=$(dpkg-query -W -f='${Version}' "libtbb-dev:$arch")

state=$(realpath -m build/onetbb/apt)
mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/work"
# The system's own sources, asking for source packages instead of binaries.
sources=("/etc/apt/sources.list.d/"*.sources)
[[ -e "${sources[0]}" ]] || { echo "no deb822 .sources file under /etc/apt" >&2; exit 1; }
sed -E 's/^Types:.*/Types: deb-src/' "${sources[@]}" >"$state/onetbb-src.sources"
apt_private=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$state/sourceparts"
             -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache")
mkdir -p "$state/sourceparts"
cp "$state/onetbb-src.sources" "$state/sourceparts/"

apt-get "${apt_private[@]}" update -qq
rm -rf "$state/work"/*
(cd "$state/work" && apt-get "${apt_private[@]}" source -qq "onetbb=$version")
unpacked=$(find "$state/work" -mindepth 1 -maxdepth 1 -type d -name 'onetbb-*' | head -n 1)
[[ -f "$unpacked/CMakeLists.txt" ]] || { echo "onetbb $version source did not unpack" >&2; exit 1; }
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$unpacked" "$dest"
echo "oneTBB $version source in $dest"
