# Each part lists its own sources in <part>/sources.cmake:
#   MIRVOX_PURE_SOURCES  portable logic, no <windows.h>: built for Win32 and natively with sanitizers
#   MIRVOX_WIN32_SOURCES Win32 glue: the program minus its entry point
# The codec makes targets of its own (codec/CMakeLists.txt), which its driver DLL shares.
set(MIRVOX_PURE_SOURCES)
set(MIRVOX_WIN32_SOURCES)
foreach(part platform avi recorder settings ui app)
    include(${CMAKE_SOURCE_DIR}/${part}/sources.cmake)
endforeach()
