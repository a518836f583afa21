# SPDX-License-Identifier: MIT
# Run by CPack on the zip it made (CPACK_POST_BUILD_SCRIPTS): packs the same files again in
# sorted order, since CPack adds them in the order the file system lists them, which differs from
# one file system to another. Every entry gets the source's date (SOURCE_DATE_EPOCH).
foreach(package ${CPACK_PACKAGE_FILES})
  if(NOT package MATCHES "\\.zip$")
    continue()
  endif()
  get_filename_component(staging_parent ${CPACK_TEMPORARY_DIRECTORY} DIRECTORY)
  file(GLOB_RECURSE entries LIST_DIRECTORIES false RELATIVE ${staging_parent}
       ${CPACK_TEMPORARY_DIRECTORY}/*)
  list(SORT entries)
  list(JOIN entries "\n" listing)
  file(WRITE ${staging_parent}/zip-entries.txt "${listing}\n")
  string(TIMESTAMP date "%Y-%m-%d %H:%M:%S UTC" UTC)
  file(REMOVE ${package})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar cf ${package} --format=zip --mtime=${date}
            --files-from=${staging_parent}/zip-entries.txt
    WORKING_DIRECTORY ${staging_parent} RESULT_VARIABLE packing_failed)
  if(packing_failed)
    message(FATAL_ERROR "could not pack ${package} in sorted order")
  endif()
endforeach()
