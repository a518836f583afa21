# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds oneTBB from source into build/onetbb/NAME (once) and points find_package(TBB) at it; or,
# with --headers-only, only patches the installed headers there. onetbb_source: what it built.
function(use_onetbb_built_from_source name)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-onetbb.sh ${name} ${ARGN}
                  COMMAND_ERROR_IS_FATAL ANY)  # the script has said why
  set(onetbb_source ${CMAKE_SOURCE_DIR}/build/onetbb/${name}/source PARENT_SCOPE)
  if(NOT "${ARGV1}" STREQUAL "--headers-only")
    set(TBB_DIR ${CMAKE_SOURCE_DIR}/build/onetbb/${name}/install/lib/cmake/TBB
        CACHE PATH "oneTBB package directory" FORCE)
  endif()
endfunction()
