# SPDX-License-Identifier: MIT
# Installs the program and its README, nothing of the tests or benchmarks, and packages them
# with CPack into build/packages: a Debian package on Linux, a zip for 32-bit or 64-bit Windows.
include(GNUInstallDirs)

if(WIN32)
  # One folder: the program, the DLLs it loads from beside it, and the README.
  install(TARGETS averaging RUNTIME DESTINATION .)
  install(FILES ${runtime_dlls} DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win${windows_bits})
else()
  install(TARGETS averaging RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build/packages)
set(CPACK_PACKAGE_VENDOR "The averaging project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "averages values drawn from a concurrent queue by a pool of worker threads")
# One paragraph, in lines short enough for a package manager's display.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A small console program that runs 1000 work items, drawn from a concurrent"
  "queue of integer values, through a pool of worker threads with the oneTBB"
  "task library. Each work item adds the value then at the head of the queue to"
  "a shared running total, and one item adds a further work item while the run"
  "is in progress. When every item has been processed, the program prints the"
  "total, the count and their quotient. It reads no input.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The averaging project")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Depends on the libraries the binary loads (libtbb12, the C++ runtime), not on -dev packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
