#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Writes DEST/NAME.txt, the licences and notices of a file a zip redistributes (NAME, a DLL) or of
# what is linked into it statically, from where that code came from: a file a Debian package
# installed (its copyright file, and each /usr/share/common-licenses licence it refers to), or a
# source tree (its LICENSE*, third-party-programs*, debian/copyright, and the project's changes to
# it, debian/patches/averaging-*.patch). Nothing is retyped; an origin with no notice fails.
# A script because no Debian tool gathers the notices of files it did not package itself.
# Usage: scripts/gather-notices.sh DEST NAME=ORIGIN...   (a NAME may be given several origins)
set -euo pipefail
dest=$1 && shift
mkdir -p "$dest"
rm -f "$dest"/*.txt
# Appends FILE to NAME's notice under a heading that says where it came from.
append() { printf '==== %s\n\n%s\n\n' "$3" "$(cat "$2")" >>"$dest/$1.txt"; }

for pair in "$@"; do
  name=${pair%%=*} origin=${pair#*=} found=0
  if [[ -d $origin ]]; then
    for file in "$origin"/{LICENSE*,third-party-programs*,debian/copyright,debian/patches/averaging-*.patch}; do
      if [[ -f $file ]]; then
        append "$name" "$file" "${file#"$origin"/}, of the source $name is built from" && found=1
      fi
    done
    [[ $found -eq 1 ]] || { echo "$origin: no licence file in it" >&2; exit 1; }
    continue
  fi
  package=$(dpkg -S "$(realpath "$origin")" 2>/dev/null | sed -n '1s/: .*//p' || true)
  [[ -n $package ]] || { echo "$origin: no Debian package owns it" >&2; exit 1; }
  copyright=/usr/share/doc/${package%%:*}/copyright
  [[ -f $copyright ]] || { echo "$package: no $copyright" >&2; exit 1; }
  append "$name" "$copyright" \
    "$(basename "$origin"): Debian package ${package%%:*} $(dpkg-query -W -f='${Version}' "$package"), $copyright"
  for licence in $(grep -oE '/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9+]' "$copyright" |
                   sort -u); do
    [[ -f $licence ]] || { echo "$package refers to $licence, which is missing" >&2; exit 1; }
    append "$name" "$licence" "$licence (to which $copyright refers)"
  done
done
