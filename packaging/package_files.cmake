# Run at build time (cmake -P) with PKGTOOL, DOC and OUT: writes into OUT
# the gzipped manual pages of DOC and the package's changelog for the
# version `PKGTOOL --version` prints. Its date is now, or
# SOURCE_DATE_EPOCH when set (scripts/package sets the last commit's).
execute_process(COMMAND ${PKGTOOL} --version OUTPUT_VARIABLE version
                RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT version MATCHES "^pkgtool (.+)$")
  message(FATAL_ERROR "${PKGTOOL} --version says \"${version}\" (${result})")
endif()
set(version ${CMAKE_MATCH_1})
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(MAKE_DIRECTORY ${OUT})
file(WRITE ${OUT}/changelog "pkgtool (${version}) unstable; urgency=medium

  * pkgtool ${version}: builds the installer's media from a manifest and
    lists, verifies, extracts, installs and uninstalls them; ships
    setup.exe, uninstal.exe and the sample product.

 -- Seed 9477f03f maintainers <maintainers@users.noreply.c-seed-9477f03f.example>  ${date}
")
foreach(source ${OUT}/changelog ${DOC}/pkgtool.1 ${DOC}/pkgtool-manifest.5)
  get_filename_component(name ${source} NAME)
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${OUT}/${name}.gz
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip ${source} failed (${result})")
  endif()
endforeach()
