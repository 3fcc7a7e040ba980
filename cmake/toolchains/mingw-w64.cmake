# Cross-compiling for Windows with Debian's MinGW-w64, the POSIX-threads variant (which has
# std::thread). Included by the toolchain file of each architecture, which sets KZB_TRIPLE
# and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KZB_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KZB_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KZB_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KZB_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
