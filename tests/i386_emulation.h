// SPDX-License-Identifier: MIT
// Whether this test runs under qemu-i386: scripts/i386-run.sh says so where the machine cannot run
// 32-bit x86 programs itself (or is told not to).
#pragma once

#include <cstdlib>
#include <string_view>

inline bool under_i386_emulation() {
#if defined(__i386__) && !defined(_WIN32)
  const char* way = std::getenv("I386_EXECUTION");
  return way != nullptr && std::string_view(way) == "emulated";
#else
  return false;
#endif
}
