// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
// The emulator (qemu-user) this test runs under, which must start the programs it runs too, or
// nothing where it runs natively: the one CMake runs the tests with in a build for another
// architecture (AVERAGING_EMULATOR), or qemu-i386 where scripts/i386-run.sh says this machine
// cannot run 32-bit x86 programs itself (or is told not to).
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

inline std::string emulator() {
#if defined(AVERAGING_EMULATOR)
  return AVERAGING_EMULATOR;
#elif defined(__i386__) && !defined(_WIN32)
  const char* way = std::getenv("I386_EXECUTION");
  return way != nullptr && std::string_view(way) == "emulated" ? "qemu-i386" : "";
#else
  return "";
#endif
}

inline bool under_emulation() { return !emulator().empty(); }
