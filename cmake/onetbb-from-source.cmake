# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds oneTBB from source into build/onetbb/NAME (once) and points find_package(TBB) at it.
function(use_onetbb_built_from_source name)
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-onetbb.sh ${name} ${ARGN}
    RESULT_VARIABLE build_failed)
  if(build_failed)
    message(FATAL_ERROR "building oneTBB (${name}) from source failed")
  endif()
  set(TBB_DIR ${CMAKE_SOURCE_DIR}/build/onetbb/${name}/install/lib/cmake/TBB
      CACHE PATH "oneTBB package directory" FORCE)
endfunction()
