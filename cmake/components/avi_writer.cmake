# Our own OpenDML AVI writer: the portable layout and the Win32 file and stream glue over it.
list(APPEND MIRVOX_PURE_SOURCES
    recorder/opendml_writer.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    recorder/file_sink.cpp
    recorder/avi_file_stream.cpp
)

# The grab benchmark program, added once the Win32 targets exist (see tools/bench-grab.sh).
if(NOT MIRVOX_NATIVE)
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL include ${CMAKE_SOURCE_DIR}/tools/bench/bench.cmake)
endif()
