// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The emulator (qemu-user) that CMake runs the tests under in a build for another architecture,
// which must start the programs they run too; empty where they run natively.
#pragma once

#include <string_view>

inline constexpr std::string_view emulator = AVERAGING_EMULATOR;
