# SPDX-FileCopyrightText: 2026 The averaging project authors
# SPDX-License-Identifier: MIT
# Run by CPack on the zip it made (CPACK_POST_BUILD_SCRIPTS): packs the same files again with
# Info-ZIP's zip, in sorted order, every entry dated SOURCE_DATE_EPOCH and without the extra
# fields that hold owners and the access and change times. CPack adds the files in the order the
# file system lists them, and records those times, so its zip differs from one build to the next.
find_program(zip_program zip REQUIRED)
foreach(package ${CPACK_PACKAGE_FILES})
  if(NOT package MATCHES "\\.zip$")
    continue()
  endif()
  get_filename_component(staging_parent ${CPACK_TEMPORARY_DIRECTORY} DIRECTORY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${staging_parent}
       ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT entries)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND touch -h -d @$ENV{SOURCE_DATE_EPOCH} ${entries}
                    WORKING_DIRECTORY ${staging_parent} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  list(JOIN entries "\n" listing)
  file(WRITE ${staging_parent}/zip-entries.txt "${listing}\n")
  file(REMOVE ${package})
  # -X: no extra fields; -D: no folder entries; times as UTC, whatever the machine's zone.
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0 ${zip_program} -X -D -q -9 ${package} -@
    INPUT_FILE ${staging_parent}/zip-entries.txt
    WORKING_DIRECTORY ${staging_parent} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
