# Run by cpack on the staged tree before it packs it: every folder of the package is 0755. The
# folders the install makes are created under the builder's umask, and a strict one (077, 027)
# would otherwise put folders into the package that nobody but root may enter.
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(entry "${CPACK_TEMPORARY_DIRECTORY}" ${entries})
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
      WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
