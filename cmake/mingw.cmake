# Cross-compiling for Windows with MinGW-w64 from Debian; the toolchain file of each
# architecture names its target triple in TK_MINGW_TRIPLE and includes this.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: GoogleTest needs std::mutex. The deliverables link statically,
# so the choice adds no runtime DLL to them.
set(CMAKE_C_COMPILER ${TK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TK_MINGW_TRIPLE}-windres)
set(TK_DLLTOOL ${TK_MINGW_TRIPLE}-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/${TK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every module names the system libraries it uses.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
