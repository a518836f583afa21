# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Linux on another of Debian's architectures, AVERAGING_DEBIAN_ARCH (the presets set it): Debian's
# cross g++ for it (g++-<GNU triplet>) against that architecture's multiarch packages
# (libtbb-dev:<arch>, libgtest-dev:<arch>); the tests run under qemu-user. dpkg-architecture
# knows the triplet and processor of each.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AVERAGING_DEBIAN_ARCH)
foreach(field GNU_TYPE GNU_CPU)
  execute_process(COMMAND dpkg-architecture -a${AVERAGING_DEBIAN_ARCH} -qDEB_HOST_${field}
                  OUTPUT_VARIABLE ${field} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# qemu-user names its programs after the GNU processor, but for 64-bit little-endian PowerPC.
string(REPLACE powerpc64le ppc64le qemu_name "${GNU_CPU}")

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${GNU_CPU})
set(CMAKE_C_COMPILER ${GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${GNU_TYPE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${GNU_TYPE})
set(AVERAGING_EMULATOR qemu-${qemu_name} CACHE INTERNAL "what runs the tests and the programs")
set(CMAKE_CROSSCOMPILING_EMULATOR ${AVERAGING_EMULATOR})
