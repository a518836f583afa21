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
apt_private=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null
             -o Dir::Etc::SourceParts="$state/sourceparts"
             -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache")
# The system's own sources, asking for source packages instead of binaries.
rm -rf "$state/sourceparts"
mkdir -p "$state/sourceparts"
sources=(/etc/apt/sources.list.d/*.sources)
if [[ -e "${sources[0]}" ]]; then
  for file in "${sources[@]}"; do
    sed -E 's/^Types:.*/Types: deb-src/' "$file"
    echo  # keeps the last stanza of one file apart from the first of the next
  done >"$state/sourceparts/onetbb-src.sources"
elif [[ -f /etc/apt/sources.list ]]; then
  sed -nE 's/^deb(\s)/deb-src\1/p' /etc/apt/sources.list >"$state/sourceparts/onetbb-src.list"
else
  echo "no apt sources found under /etc/apt" >&2
  exit 1
fi

apt-get "${apt_private[@]}" update -qq
rm -rf "$state/work"/*
(cd "$state/work" && apt-get "${apt_private[@]}" source -qq "onetbb=$version")
unpacked=$(find "$state/work" -mindepth 1 -maxdepth 1 -type d -name 'onetbb-*' | head -n 1)
[[ -f "$unpacked/CMakeLists.txt" ]] || { echo "onetbb $version source did not unpack" >&2; exit 1; }
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$unpacked" "$dest"
echo "oneTBB $version source in $dest"
