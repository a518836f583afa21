#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Writes DEST/NAME.txt, the licence texts and copyright notices of a file that a package of the
# program redistributes (NAME, a DLL) or of what is linked into it statically, from where that
# code came from: a file that a Debian package installed (the package's own copyright file, and
# every licence in /usr/share/common-licenses that it refers to), or a source tree (its LICENSE*,
# third-party-programs* and debian/copyright). Nothing is retyped; an origin that yields no
# notice is an error.
# A script because no Debian tool gathers the notices of files it did not package itself.
# Usage: scripts/gather-notices.sh DEST NAME=ORIGIN...   (a NAME may be given several origins)
set -euo pipefail
dest=$1
shift
mkdir -p "$dest"
rm -f "$dest"/*.txt

# Appends FILE to NAME's notice under a heading that says where it came from.
append() {
  local name=$1 file=$2 heading=$3
  {
    printf '==== %s\n\n' "$heading"
    cat "$file"
    printf '\n'
  } >>"$dest/$name.txt"
}

from_debian_package() {
  local name=$1 origin=$2 path owners package version copyright licence
  path=$(realpath "$origin")
  owners=$(dpkg -S "$path" 2>/dev/null) ||
    { echo "$origin: no Debian package owns it" >&2; return 1; }
  package=$(sed -n '1s/:.*//p' <<<"$owners")
  version=$(dpkg-query -W -f='${Version}' "$package")
  copyright=/usr/share/doc/$package/copyright
  [[ -f $copyright ]] || { echo "$package: no $copyright" >&2; return 1; }
  append "$name" "$copyright" "$(basename "$origin"): Debian package $package $version, $copyright"
  for licence in $(grep -oE '/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9+]' "$copyright" |
                   sort -u); do
    [[ -f $licence ]] || { echo "$package refers to $licence, which is missing" >&2; return 1; }
    append "$name" "$licence" "$licence (to which $copyright refers)"
  done
}

from_source_tree() {
  local name=$1 tree=$2 file found=0
  for file in "$tree"/LICENSE* "$tree"/third-party-programs* "$tree"/debian/copyright; do
    [[ -f $file ]] || continue
    append "$name" "$file" "${file#"$tree"/}, of the source $name is built from"
    found=1
  done
  [[ $found -eq 1 ]] || { echo "$tree: no licence file in it" >&2; return 1; }
}

for pair in "$@"; do
  name=${pair%%=*} origin=${pair#*=}
  if [[ -d $origin ]]; then
    from_source_tree "$name" "$origin"
  else
    from_debian_package "$name" "$origin"
  fi
done
