# Run by CPack on its staging folder before it packs the .deb. The folders that the install rules
# make on the way take the mode the builder's umask gives them (0700 under umask 077, 0775 under
# 002), which would then be the mode of /usr/share and the rest on every machine that installs
# the package: Debian wants 0755.
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(entry IN ITEMS "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" LISTS entries)
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                      WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
