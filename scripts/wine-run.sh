#!/usr/bin/env bash
# Runs a 32-bit Windows program under Wine with a private, quiet prefix (created on first use),
# so the user's own Wine setup is neither needed nor touched.
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGUMENT...]; with no argument, only prepares the prefix.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$repo/build/windows/wineprefix}
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1
  wineserver --wait
fi
[[ $# -eq 0 ]] && exit 0
exec wine "$@"
