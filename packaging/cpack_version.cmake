# Read by cpack (CPACK_PROJECT_CONFIG_FILE, with PKGTOOL set): the
# package's version is what `pkgtool --version` prints.
execute_process(COMMAND ${PKGTOOL} --version OUTPUT_VARIABLE version
                RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT version MATCHES "^pkgtool ([0-9][0-9a-z.+~-]*)$")
  message(FATAL_ERROR "${PKGTOOL} --version says \"${version}\" (${result})")
endif()
set(CPACK_PACKAGE_VERSION ${CMAKE_MATCH_1})
