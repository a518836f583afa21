#!/bin/sh
# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Runs make with the given targets (./make.sh run, ./make.sh test) on a machine that may lack
# make itself: installs it first where it is missing; each target installs what else it needs.
set -eu
cd "$(dirname "$0")"
scripts/install-deps.sh make
exec make "$@"
