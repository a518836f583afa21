# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Run by CPack on the files it is about to zip (CPACK_PRE_BUILD_SCRIPTS): strips every program and
# DLL with the target's own strip, so no debug data or build path ships, and fails unless the zip
# holds the project's LICENSE and a notice licenses/<file>.txt for each of them.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false ${CPACK_TEMPORARY_DIRECTORY}/*)
list(FILTER binaries INCLUDE REGEX "\\.(exe|dll)$")
if(NOT binaries)
  message(FATAL_ERROR "no program found to pack in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(binary ${binaries})
  execute_process(COMMAND ${CPACK_AVERAGING_STRIP} --strip-unneeded ${binary}
                  COMMAND_ERROR_IS_FATAL ANY)
  get_filename_component(folder ${binary} DIRECTORY)
  get_filename_component(name ${binary} NAME)
  if(NOT EXISTS ${folder}/LICENSE)
    message(FATAL_ERROR "${name} is shipped without the project's LICENSE beside it")
  elseif(NOT EXISTS ${folder}/licenses/${name}.txt)
    message(FATAL_ERROR "${name} is shipped without its notice licenses/${name}.txt")
  endif()
endforeach()
