# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Linux on another of Debian's architectures, AVERAGING_DEBIAN_ARCH (the cross preset sets it from
# ARCH): Debian's cross g++ for it (g++-<GNU triplet>) against that architecture's multiarch
# packages; the tests run under qemu-user, or natively for i386 where I386_EXECUTION=native
# (scripts/i386-execution.sh tells) says the kernel runs 32-bit x86 programs itself.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AVERAGING_DEBIAN_ARCH)
foreach(field GNU_TYPE GNU_CPU MULTIARCH)
  execute_process(COMMAND dpkg-architecture -a${AVERAGING_DEBIAN_ARCH} -qDEB_HOST_${field}
                  OUTPUT_VARIABLE ${field} OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# qemu-user names its programs after the GNU processor, but for these two.
string(REGEX REPLACE "^powerpc64le$" ppc64le qemu_name "${GNU_CPU}")
string(REGEX REPLACE "^i686$" i386 qemu_name "${qemu_name}")

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${GNU_CPU})
set(CMAKE_C_COMPILER ${GNU_TYPE}-gcc)
set(CMAKE_CXX_COMPILER ${GNU_TYPE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${MULTIARCH})
if(qemu_name STREQUAL "i386" AND "$ENV{I386_EXECUTION}" STREQUAL "native")
  set(AVERAGING_EMULATOR "" CACHE INTERNAL "what runs the tests and the programs")
else()
  set(AVERAGING_EMULATOR qemu-${qemu_name} CACHE INTERNAL "what runs the tests and the programs")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${AVERAGING_EMULATOR})
