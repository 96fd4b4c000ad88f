# Cross build for Windows (x86_64) with Debian's mingw-w64. The posix-thread
# variant of the compiler gives the full C++ thread library; -static (set in the
# top-level list) links its runtime into each binary.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZANDREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZANDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZANDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZANDREL_MINGW_TRIPLE}-windres)
set(ZANDREL_WIDL ${ZANDREL_MINGW_TRIPLE}-widl)
set(ZANDREL_OBJDUMP ${ZANDREL_MINGW_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${ZANDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
