# Run by the sample_media target (cmake -P): builds the sample's media with
# pkgtool, taking setup.exe from the Windows build when it is there.
#   -DPKGTOOL=... -DMANIFEST=... -DOUTPUT=... -DWIN32_BIN=... -DDATA=...
foreach(program quest.exe questgfx.dll uninstal.exe)
  if(NOT EXISTS ${WIN32_BIN}/${program})
    message(FATAL_ERROR "${WIN32_BIN}/${program} is missing: build the "
            "Windows tree first, or point SETUP_WIN32_BUILD_DIR at its bin/")
  endif()
endforeach()

set(defines -D WIN32_BIN=${WIN32_BIN} -D DATA=${DATA})
set(installer)
if(EXISTS ${WIN32_BIN}/setup.exe)
  set(installer --installer ${WIN32_BIN}/setup.exe)
endif()

file(REMOVE_RECURSE ${OUTPUT})
execute_process(
  COMMAND ${PKGTOOL} --quiet build ${MANIFEST} --dry-run ${defines}
  OUTPUT_FILE ${OUTPUT}.sources.tsv
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkgtool build --dry-run failed (${result})")
endif()
execute_process(
  COMMAND ${PKGTOOL} --quiet build ${MANIFEST} -o ${OUTPUT} ${installer}
          ${defines}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkgtool build failed (${result})")
endif()
# Only the dry run's file lines (target, source, flags, disks: tab-separated)
# make the list the install and round-trip scripts check against.
file(STRINGS ${OUTPUT}.sources.tsv lines REGEX "\t")
list(JOIN lines "\n" text)
file(WRITE ${OUTPUT}/sources.tsv "${text}\n")
file(REMOVE ${OUTPUT}.sources.tsv)
