# Run by cpack on its staging tree before it builds the package. The module
# libraries are copied from the build's staged modules directory, so they
# still name that directory as their library search path, and cpack's own
# stripping never sees them. The program loads them with the environment
# library already in place, so they need no search path at all.
file(GLOB_RECURSE binaries LIST_DIRECTORIES false
  "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so" "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/plugin")
foreach(binary ${binaries})
  if(binary MATCHES "/modules/lib[^/]*\\.so$")
    file(RPATH_REMOVE FILE ${binary})
  endif()
  execute_process(
    COMMAND ${CPACK_ZORVA_STRIP} --strip-unneeded --remove-section=.comment ${binary}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
