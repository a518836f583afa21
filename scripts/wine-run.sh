#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Runs a Windows program under Wine with a private, quiet prefix (created on first use), so the
# user's own Wine setup is neither needed nor touched. A 32-bit program runs under wine in a
# 32-bit prefix; a 64-bit one under wine64 in a 64-bit prefix, which needs no 32-bit execution.
# A script because Wine has no way to pick wine or wine64 from the program, nor a private prefix.
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGUMENT...]
#        scripts/wine-run.sh win32|win64 COMMAND...   (runs COMMAND with that prefix ready)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

command='' arch=win32 wine=wine folder=windows
if [[ ${1:-} == win32 || ${1:-} == win64 ]]; then
  arch=$1 command=yes && shift
elif [[ $(file -b "$1") == PE32+* ]]; then  # a 64-bit program
  arch=win64
fi
if [[ $arch == win64 ]]; then
  wine=/usr/lib/wine/wine64 folder=windows64
  export WINELOADER=$wine
fi
export WINEPREFIX=${WINEPREFIX:-$repo/build/$folder/wineprefix}
export WINEARCH=$arch WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  wineserver --wait
fi
[[ -z $command ]] && exec "$wine" "$@"
# Debian's wineserver ends with its last program (-p0), and a program started in that moment dies
# ("wine client error:0: recvmsg: Connection reset by peer"), as between two tests. So one server
# serves all of COMMAND, Wine's services started first, apart from COMMAND's output they would hold.
wineserver -k 2>/dev/null || true  # one that an interrupted run left
wineserver -p
"$wine" wineboot </dev/null >/dev/null 2>&1
status=0
"$@" || status=$?
wineserver -k
exit "$status"
