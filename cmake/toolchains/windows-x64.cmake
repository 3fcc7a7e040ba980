# 64-bit Windows. Not for a real card (its maker's library is 32-bit): it builds the same
# sources for a 64-bit system.
set(KZB_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
