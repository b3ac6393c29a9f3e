# Each part lists its own sources in <part>/sources.cmake:
#   MIRVOX_PURE_SOURCES  portable logic, no <windows.h>: built for Win32 and natively with sanitizers
#   MIRVOX_WIN32_SOURCES Win32 glue: the program minus its entry point
#   MIRVOX_PURE_LIBS     libraries the portable logic needs
set(MIRVOX_PURE_SOURCES)
set(MIRVOX_WIN32_SOURCES)
set(MIRVOX_PURE_LIBS)
foreach(part platform avi codec recorder settings ui app)
    include(${CMAKE_SOURCE_DIR}/${part}/sources.cmake)
endforeach()
