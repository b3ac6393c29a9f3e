# Each component lists its own sources in cmake/components/<component>.cmake:
#   MIRVOX_PURE_SOURCES  portable logic, no <windows.h>: built for Win32 and natively with sanitizers
#   MIRVOX_WIN32_SOURCES Win32 glue: the program minus its entry point
#   MIRVOX_PURE_LIBS     libraries the portable logic needs
set(MIRVOX_PURE_SOURCES)
set(MIRVOX_WIN32_SOURCES)
set(MIRVOX_PURE_LIBS)
file(GLOB mirvox_components CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/components/*.cmake)
foreach(component ${mirvox_components})
    include(${component})
endforeach()
