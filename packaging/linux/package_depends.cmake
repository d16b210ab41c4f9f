# Read by cpack before it builds the package: the Depends line is dpkg-shlibdeps' answer for every
# ELF file the package carries, and for the audio library inside the program too, which the
# program writes out and loads at run time where no tool looking at the package would find it.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
foreach(file ${VESICLAR_PACKAGE_ELF_FILES})
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "package: ${file} is not built yet")
  endif()
endforeach()
# dpkg-shlibdeps wants a source package around it; an empty control file is enough.
set(work "${CPACK_PACKAGE_DIRECTORY}/_shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")
execute_process(COMMAND dpkg-shlibdeps -O ${VESICLAR_PACKAGE_ELF_FILES}
  WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_VARIABLE substvars ERROR_VARIABLE errors)
file(REMOVE_RECURSE "${work}")
if(NOT status EQUAL 0 OR NOT substvars MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "package: dpkg-shlibdeps found no dependencies (${status}): ${errors}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
