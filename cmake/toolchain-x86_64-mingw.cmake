# Cross build for 64-bit Windows with the mingw-w64 x86_64 tool chain.
# setup.exe ships as the 32-bit build; this one exists for the Wine tests on
# machines whose kernel runs no 32-bit code (no IA-32 emulation), where only
# 64-bit Wine works. Same sources, same flags.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
