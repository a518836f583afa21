#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Prints the README's two commands (run; test), one a line, as the README states them, so that
# the checks that run them cannot drift apart from it.
set -euo pipefail
cd "$(dirname "$0")/.."
awk '/^## Two commands/ { section = 1; next }
     section && /^```/ { if (block) exit; block = 1; next }
     block { sub(/[ \t]*#.*/, ""); if ($0 != "") print }' README.md
