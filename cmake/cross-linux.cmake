# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Linux on another of Debian's architectures, named by its GNU triplet AVERAGING_TRIPLET (the
# presets set it): Debian's cross g++ for it (g++-<triplet>) against that architecture's
# multiarch packages (libtbb-dev:<arch>, libgtest-dev:<arch>); the tests run under qemu-user.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AVERAGING_TRIPLET)
# triplet, Debian's name of the architecture, qemu-user's
set(cross_architectures
    aarch64-linux-gnu arm64 aarch64
    arm-linux-gnueabihf armhf arm
    riscv64-linux-gnu riscv64 riscv64
    powerpc64le-linux-gnu ppc64el ppc64le
    s390x-linux-gnu s390x s390x)
list(FIND cross_architectures "${AVERAGING_TRIPLET}" at)
if(at LESS 0)
  message(FATAL_ERROR "AVERAGING_TRIPLET '${AVERAGING_TRIPLET}' is none of Debian's architectures")
endif()
math(EXPR debian_at "${at} + 1")
math(EXPR qemu_at "${at} + 2")
list(GET cross_architectures ${debian_at} AVERAGING_DEBIAN_ARCH)
list(GET cross_architectures ${qemu_at} qemu_name)

set(CMAKE_SYSTEM_NAME Linux)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR "${AVERAGING_TRIPLET}")
set(CMAKE_C_COMPILER ${AVERAGING_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${AVERAGING_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${AVERAGING_TRIPLET})
set(AVERAGING_EMULATOR qemu-${qemu_name} CACHE INTERNAL "what runs the tests and the programs")
set(CMAKE_CROSSCOMPILING_EMULATOR ${AVERAGING_EMULATOR})
