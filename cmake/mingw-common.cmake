# Shared part of the MinGW-w64 toolchain files. The -posix compilers are required:
# the default (win32 thread model) ones reject std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${CARVEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CARVEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${CARVEX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${CARVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# MinGW would name DLLs lib*.dll; Windows programs expect plain names.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_SHARED_MODULE_PREFIX "")
