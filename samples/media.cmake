# The sample product's media (host build, included by tools/pkgtool): the
# target sample_media runs pkgtool build on quest.manifest with the Windows
# programs of a Windows build tree and the data generated here, and writes
# ${CMAKE_BINARY_DIR}/sample-media/disk1, disk2 (and sources.tsv, the
# manifest's files as `pkgtool build --dry-run` lists them).
set(SETUP_WIN32_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/win32/bin CACHE PATH
    "Directory of the Windows build's programs (quest.exe, setup.exe, ...)")

set(SAMPLE_DIR ${CMAKE_SOURCE_DIR}/samples)
set(SAMPLE_DATA_DIR ${CMAKE_BINARY_DIR}/sample-data)
set(SAMPLE_DATA_FILES
    ${SAMPLE_DATA_DIR}/LEVEL1.DAT ${SAMPLE_DATA_DIR}/LEVEL2.DAT
    ${SAMPLE_DATA_DIR}/LEVEL3.DAT ${SAMPLE_DATA_DIR}/MUSIC.DAT)

add_executable(sample_data ${SAMPLE_DIR}/sample_data.cpp)
target_compile_options(sample_data PRIVATE ${SETUP_WARNINGS})
add_custom_command(
  OUTPUT ${SAMPLE_DATA_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${SAMPLE_DATA_DIR}
  COMMAND sample_data ${SAMPLE_DATA_DIR}
  DEPENDS sample_data
  COMMENT "Generating the sample product's data files")

add_custom_target(sample_media
  COMMAND ${CMAKE_COMMAND}
          -DPKGTOOL=$<TARGET_FILE:pkgtool>
          -DMANIFEST=${SAMPLE_DIR}/quest.manifest
          -DOUTPUT=${CMAKE_BINARY_DIR}/sample-media
          -DWIN32_BIN=${SETUP_WIN32_BUILD_DIR}
          -DDATA=${SAMPLE_DATA_DIR}
          -P ${SAMPLE_DIR}/build_media.cmake
  DEPENDS pkgtool ${SAMPLE_DATA_FILES} ${SAMPLE_DIR}/quest.manifest
          ${SAMPLE_DIR}/README.TXT
  COMMENT "Building the sample product's media"
  VERBATIM)
