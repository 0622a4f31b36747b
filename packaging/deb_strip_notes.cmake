# Run by CPack on its staging folder before it packs the .deb, after the install rules stripped
# the symbols. Every object file the compiler made adds its name and version to .comment and
# .note; Debian's own packages go without them, so these programs do too.
file(GLOB_RECURSE entries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(entry IN LISTS entries)
  if(IS_SYMLINK "${entry}")
    continue()
  endif()
  file(READ "${entry}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_CARVEX_STRIP}" --remove-section=.comment --remove-section=.note "${entry}"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "Cannot strip the notes of ${entry}")
    endif()
  endif()
endforeach()
