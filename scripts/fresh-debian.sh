#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Runs COMMANDS as root in a brand-new minimal Debian RELEASE (mmdebstrap's minbase, -updates and
# -security: no make, compiler, git or sudo), in a clone of HEAD at /root/averaging, each FILE in
# /root; fails when they fail; copies /root/out to build/fresh-debian/RELEASE-out. The system is
# made once, cached there as a tarball; each call unpacks a copy of its own and removes it after.
# A script because mmdebstrap only makes the system: this one runs commands in a copy, with /proc,
# /dev and /sys mounted for them alone, and removes it again.
# Usage: scripts/fresh-debian.sh RELEASE COMMANDS [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."
suite=$1 commands=$2 work=$(realpath -m build/fresh-debian) && shift 2
cache=$work/$suite-minbase.tar.gz

# Removes DIR, refusing while anything is mounted at or below it, never crossing file systems.
remove_tree() {
  if awk -v dir="$1" '$2 == dir || index($2, dir "/") == 1 { found = 1 } END { exit !found }' \
    /proc/self/mounts; then
    echo "refusing to remove $1: something is still mounted in it" >&2
    return 1
  fi
  rm -rf --one-file-system "$1"
}

# The archive of SUITE's SUFFIX ("", -security) that this machine's apt sources name for it, else
# the one they name for this machine's own release, which serves the others too.
archive() {
  local own
  own=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  apt-get indextargets --no-release-info 'Identifier: Packages' --format '$(RELEASE) $(REPO_URI)' |
    awk -v want="$suite$1" -v own="$own$1" '$1 == want && found == "" { found = $2 }
      $1 == own && fallback == "" { fallback = $2 }  END { print found != "" ? found : fallback }'
}

if [[ ! -f "$cache" ]]; then
  scripts/install-deps.sh mmdebstrap
  mirror=$(archive "") security=$(archive -security)
  [[ -n "$mirror" && -n "$security" ]] ||
    { echo "no apt source names Debian's archives for $suite and $suite-security" >&2; exit 1; }
  echo "Building a minimal Debian $suite from $mirror and $security (cached in $cache)"
  mkdir -p "$work" && log=$work/$suite-mmdebstrap.log
  # In a mount namespace of its own, so that what it mounts vanishes; its work beside the cache.
  # Testing's Release goes stale on a mirror, a known state of testing, not a fault of the package:
  # there, inside this system only, apt does not enforce its Valid-Until (as with a snapshot).
  testing=() && [[ $suite == forky ]] && testing=(--aptopt='Acquire::Check-Valid-Until "false"')
  TMPDIR=$work unshare --mount --propagation private mmdebstrap --mode=root --variant=minbase \
    "${testing[@]}" "$suite" "$work/$suite-partial.tar.gz" \
    "deb $mirror $suite main" "deb $mirror $suite-updates main" \
    "deb $security $suite-security main" >"$log" 2>&1 || { tail -n 20 "$log" >&2; exit 1; }
  mv "$work/$suite-partial.tar.gz" "$cache"
fi

root=$(mktemp -d "$work/system.XXXXXX")
trap 'remove_tree "$root"' EXIT
tar -C "$root" -xzf "$cache"
chmod 755 "$root"  # its /, which the system's other users (apt's _apt) must traverse
git clone -q "$PWD" "$root/root/averaging"
if [[ $# -gt 0 ]]; then cp -- "$@" "$root/root/"; fi
# So that apt reaches the archive by name. Removed first: a link there would lead outside.
rm -f "$root/etc/resolv.conf" && cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# /proc, /dev and /sys exist in the system only within this mount namespace, and vanish with it.
unshare --mount --propagation private /bin/sh -euc '
  root=$1 commands=$2
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  mount -t sysfs sysfs "$root/sys"
  if [ -d /sys/fs/cgroup ]; then mount --rbind /sys/fs/cgroup "$root/sys/fs/cgroup"; fi
  exec chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 CI="${CI-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/sh -euxc "cd /root/averaging && $commands"
' fresh-debian "$root" "$commands"
rm -rf "$work/$suite-out"
if [[ -d "$root/root/out" ]]; then cp -r "$root/root/out" "$work/$suite-out"; fi
