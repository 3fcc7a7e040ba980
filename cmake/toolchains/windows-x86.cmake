# 32-bit Windows: the product, since the card maker's library is 32-bit.
set(KZB_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
# SSE2 scalar arithmetic: each float operation rounds to 32 bits, as on x64 and Linux. The
# x87 unit would keep a float held in a register in extended precision between additions.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
