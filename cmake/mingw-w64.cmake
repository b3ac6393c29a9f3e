# Cross-compiles the Win32 program with MinGW-w64 (posix threads) and runs what it builds under Wine.
# MIRVOX_TARGET_PROCESSOR picks the compilers: x86_64 (the default), or i686 as
# cmake/mingw-w64-i686.cmake sets it for the 32-bit codec driver.
if(NOT DEFINED MIRVOX_TARGET_PROCESSOR)
    set(MIRVOX_TARGET_PROCESSOR x86_64)
endif()
set(triple ${MIRVOX_TARGET_PROCESSOR}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MIRVOX_TARGET_PROCESSOR})

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

find_program(WINE_EXECUTABLE NAMES wine wine64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
