// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The emulator (qemu-user) this test runs under, which must start the programs it runs too, or
// nothing where it runs natively: the one CMake runs the tests with in a build for another
// architecture (AVERAGING_EMULATOR).
#pragma once

#include <string>

inline std::string emulator() {
#if defined(AVERAGING_EMULATOR)
  return AVERAGING_EMULATOR;
#else
  return "";
#endif
}

inline bool under_emulation() { return !emulator().empty(); }
