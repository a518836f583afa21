# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Installs the program with its README and man page, nothing of the tests or benchmarks; on
# Windows with its licence and notices, zipped by CPack (cmake/package-staging.cmake checks).
include(GNUInstallDirs)

set(CPACK_PACKAGE_DIRECTORY ${CMAKE_SOURCE_DIR}/build/packages)
set(CPACK_PACKAGE_VENDOR "The averaging project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY  # also the Windows program's file description
    "averages values drawn from a concurrent queue by a pool of worker threads")
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

  # licenses/<file>.txt for every DLL, and for the runtime and GCC support linked into the program,
  # from where that code came from: oneTBB's source tree, or a Debian package.
  set(notices)
  foreach(dll ${runtime_dlls})
    get_filename_component(dll_name ${dll} NAME)
    if(dll IN_LIST onetbb_dlls)
      list(APPEND notices ${dll_name}=${onetbb_source})
    else()
      list(APPEND notices ${dll_name}=${dll})
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libmingwex.a
                  OUTPUT_VARIABLE mingw_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                  OUTPUT_VARIABLE gcc_support OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND notices averaging.exe=${mingw_runtime} averaging.exe=${gcc_support})
  execute_process(  # the script says which notice it could not gather
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/gather-notices.sh ${CMAKE_BINARY_DIR}/licenses ${notices}
    COMMAND_ERROR_IS_FATAL ANY)

  # One folder: the program, the DLLs it loads, the README, the licence and the notices.
  install(TARGETS averaging RUNTIME DESTINATION .)
  install(FILES ${runtime_dlls} DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/licenses/ DESTINATION licenses)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win${windows_bits})
  include(CPack)
else()
  # The man page carries the date of the source (SOURCE_DATE_EPOCH), so builds of one commit match.
  string(TIMESTAMP AVERAGING_DATE "%Y-%m-%d" UTC)
  configure_file(packaging/averaging.1.in averaging.1 @ONLY)
  install(TARGETS averaging RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_BINARY_DIR}/averaging.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
