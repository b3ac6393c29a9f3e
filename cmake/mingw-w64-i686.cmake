# The 32-bit build (the codec driver and the frame reader that plays files through it); Wine runs
# 32-bit programs with Debian's wine32:i386.
set(MIRVOX_TARGET_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
