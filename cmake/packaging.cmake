# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs the program with its README, licence and man page, nothing of the tests or benchmarks,
# and packages them with CPack into build/packages: a Debian package on Linux, a zip for 32-bit
# or 64-bit Windows. Before CPack packs them, cmake/package-staging.cmake strips the binaries and
# checks that every one a zip ships has its notice.
include(GNUInstallDirs)

set(AVERAGING_PACKAGE_MAINTAINER "averaging packager <packager@averaging.invalid>"
    CACHE STRING "The Debian package's Maintainer field, as Name <address>")

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
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# CPack packs what is built (the Makefile builds the program first), not the whole test suite.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-staging.cmake)
set(CPACK_AVERAGING_STRIP ${CMAKE_STRIP})

if(WIN32)
  # The version and licence that the program's file properties show.
  enable_language(RC)
  configure_file(packaging/version.rc.in version.rc @ONLY)
  target_sources(averaging PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/version.rc)

  # Every DLL beside the program, and the program for the mingw-w64 runtime and GCC support code
  # linked into it, gets licenses/<file>.txt, taken from where that code came from: oneTBB from
  # the source tree scripts/build-onetbb.sh built it from, the rest from Debian's packages.
  set(notices)
  foreach(dll ${runtime_dlls})
    get_filename_component(dll_name ${dll} NAME)
    if("${dll}" STREQUAL "${tbb_dll}")
      list(APPEND notices ${dll_name}=${CMAKE_SOURCE_DIR}/build/onetbb/source)
    else()
      list(APPEND notices ${dll_name}=${dll})
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libmingwex.a
                  OUTPUT_VARIABLE mingw_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                  OUTPUT_VARIABLE gcc_support OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND notices averaging.exe=${mingw_runtime} averaging.exe=${gcc_support})
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/gather-notices.sh ${CMAKE_BINARY_DIR}/licenses ${notices}
    RESULT_VARIABLE gathering_failed)
  if(gathering_failed)
    message(FATAL_ERROR "the notices of what the zip redistributes could not be gathered")
  endif()

  # One folder: the program, the DLLs it loads from beside it, the README, the licence and the
  # notices of everything else it holds.
  install(TARGETS averaging RUNTIME DESTINATION .)
  install(FILES ${runtime_dlls} DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/licenses/ DESTINATION licenses)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win${windows_bits})
  set(CPACK_AVERAGING_STRIP_OPTIONS --strip-unneeded)
  set(CPACK_AVERAGING_NOTICES_REQUIRED ON)
else()
  # The man page carries the date of the source (SOURCE_DATE_EPOCH, which the Makefile sets from
  # the commit), and the compressed files no name or time of their own: builds of one commit match.
  string(TIMESTAMP AVERAGING_DATE "%Y-%m-%d" UTC)
  configure_file(packaging/averaging.1.in averaging.1 @ONLY)
  configure_file(packaging/changelog.in changelog @ONLY)
  # Debian's machine-readable copyright, its licence text taken from LICENSE.
  file(READ LICENSE licence)
  string(FIND "${licence}" "Permission is hereby granted" licence_start)
  string(SUBSTRING "${licence}" ${licence_start} -1 licence)
  string(STRIP "${licence}" licence)
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " licence "${licence}")
  file(READ packaging/copyright.in copyright)
  file(WRITE ${CMAKE_BINARY_DIR}/copyright "${copyright} ${licence}\n")
  foreach(file averaging.1 changelog)
    execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/${file}
                    OUTPUT_FILE ${CMAKE_BINARY_DIR}/${file}.gz RESULT_VARIABLE gzip_failed)
    if(gzip_failed)
      message(FATAL_ERROR "gzip ${file} failed")
    endif()
  endforeach()

  install(TARGETS averaging RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/averaging.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB)
  # As Debian's own packages strip theirs (dh_strip): no symbols, no compiler notes.
  set(CPACK_AVERAGING_STRIP_OPTIONS --remove-section=.comment --remove-section=.note)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
if(AVERAGING_DEBIAN_ARCH)  # a build for another architecture; dpkg would name this machine's
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${AVERAGING_DEBIAN_ARCH})
endif()
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${AVERAGING_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Depends on the libraries the binary loads (libtbb12, the C++ runtime), not on -dev packages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
