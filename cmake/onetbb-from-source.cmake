# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Builds oneTBB from source into build/onetbb/NAME (once) and points find_package(TBB) at it.
function(use_onetbb_built_from_source name)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-onetbb.sh ${name} ${ARGN}
                  COMMAND_ERROR_IS_FATAL ANY)  # the script has said why
  set(TBB_DIR ${CMAKE_SOURCE_DIR}/build/onetbb/${name}/install/lib/cmake/TBB
      CACHE PATH "oneTBB package directory" FORCE)
  file(STRINGS ${CMAKE_SOURCE_DIR}/build/onetbb/${name}/patches patches)
  set(onetbb_patches ${patches} PARENT_SCOPE)  # what the built oneTBB was changed by
endfunction()

# The installed oneTBB's headers with the patches of its series, ahead of the installed ones; the
# library stays the installed one, as the patches change only templates compiled into the program.
function(use_patched_onetbb_headers)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-onetbb.sh headers --headers-only
                  COMMAND_ERROR_IS_FATAL ANY)
  include_directories(BEFORE SYSTEM ${CMAKE_SOURCE_DIR}/build/onetbb/headers/source/include)
endfunction()
