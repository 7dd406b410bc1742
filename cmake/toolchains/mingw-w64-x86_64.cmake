# Cross build for 64-bit Windows with mingw-w64 (Debian packages g++-mingw-w64-x86-64-posix and
# binutils-mingw-w64-x86-64); the programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HOTFIX_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model: GoogleTest does not build with the win32 one.
set(CMAKE_C_COMPILER ${HOTFIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HOTFIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HOTFIX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HOTFIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime goes into every executable and library, so that nothing needs its DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# ctest and test discovery start the executables through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
