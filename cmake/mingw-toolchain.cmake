# Shared part of the mingw-w64 cross builds: the including toolchain file
# sets MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) and
# CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# One self-contained executable: static C and C++ runtimes, no exceptions or
# run-time type information needed by our code, no unwind tables (nothing
# unwinds without exceptions), every function in a section of its own so
# that the linker can drop what nothing calls, and no guards around
# function-local statics (one thread, and no C++ runtime to supply them).
# Not -fdata-sections: with it, this GCC puts zero-filled variables in
# .data sections, where they take their full size in the file.
set(CMAKE_CXX_FLAGS_INIT
    "-fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections -fno-threadsafe-statics")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
