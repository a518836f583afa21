# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Run by CPack on the files it is about to pack (CPACK_PRE_BUILD_SCRIPTS): strips every program
# and DLL with the target's own strip, so no debug data or build path ships, and, for a zip,
# fails unless it holds the project's LICENSE and a notice licenses/<file>.txt for each of them.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false ${CPACK_TEMPORARY_DIRECTORY}/*)
list(FILTER binaries INCLUDE REGEX "(/bin/[^/]+|\\.exe|\\.dll)$")
if(NOT binaries)
  message(FATAL_ERROR "no program found to pack in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(binary ${binaries})
  execute_process(COMMAND ${CPACK_AVERAGING_STRIP} ${CPACK_AVERAGING_STRIP_OPTIONS} ${binary}
                  RESULT_VARIABLE strip_failed)
  if(strip_failed)
    message(FATAL_ERROR "could not strip ${binary}")
  endif()
endforeach()

if(CPACK_AVERAGING_NOTICES_REQUIRED)
  foreach(binary ${binaries})
    get_filename_component(folder ${binary} DIRECTORY)
    get_filename_component(name ${binary} NAME)
    if(NOT EXISTS ${folder}/LICENSE)
      message(FATAL_ERROR "${name} is shipped without the project's LICENSE beside it")
    elseif(NOT EXISTS ${folder}/licenses/${name}.txt)
      message(FATAL_ERROR "${name} is shipped without its notice licenses/${name}.txt")
    endif()
  endforeach()
endif()
