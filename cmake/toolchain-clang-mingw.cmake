# Cross build for Windows with clang and lld against Debian's mingw-w64: the
# headers and import libraries of mingw-w64, the C++ library, exception model
# (DWARF on x86, SEH on x64) and start files of its GCC (the posix-thread
# variant), so that a binary is what GCC makes, plus CodeView debugging
# information and a PDB beside each binary, which Windows debuggers read.
# Included by toolchain-clang-mingw-i686.cmake and -x86_64.cmake, which set
# ZANDREL_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
file(GLOB ZANDREL_GCC_DIRS /usr/lib/gcc/${ZANDREL_MINGW_TRIPLE}/*-posix)
list(SORT ZANDREL_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET ZANDREL_GCC_DIRS 0 ZANDREL_GCC_DIR)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${ZANDREL_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ZANDREL_MINGW_TRIPLE})
set(CMAKE_SYSROOT /usr/${ZANDREL_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${ZANDREL_MINGW_TRIPLE}-windres)
set(ZANDREL_WIDL ${ZANDREL_MINGW_TRIPLE}-widl)
set(ZANDREL_OBJDUMP ${ZANDREL_MINGW_TRIPLE}-objdump)
set(ZANDREL_CODEVIEW ON)
set(cxx_includes "-isystem ${ZANDREL_GCC_DIR}/include/c++ -isystem ${ZANDREL_GCC_DIR}/include/c++/${ZANDREL_MINGW_TRIPLE} -isystem ${ZANDREL_GCC_DIR}/include/c++/backward")
set(CMAKE_C_FLAGS_INIT "-gcodeview -Wno-unused-command-line-argument")
set(CMAKE_CXX_FLAGS_INIT "-gcodeview -Wno-unused-command-line-argument ${cxx_includes}")
# -B: GCC's crtbegin.o and crtend.o, which register the DWARF unwind tables;
# winpthread: the posix-thread variant's C++ library needs it.
# (lld finds an archive's symbols whatever the order on the command line.)
# The PDB beside each binary; the binary names it without the build's folder.
set(link "-fuse-ld=lld -B${ZANDREL_GCC_DIR} -L${ZANDREL_GCC_DIR} -Wl,--pdb= -Wl,-Xlink=-pdbaltpath:%_PDB% -lwinpthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${link}")
set(CMAKE_FIND_ROOT_PATH /usr/${ZANDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
