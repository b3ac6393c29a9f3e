# Our own OpenDML AVI writer: the portable layout and the Win32 file and stream glue over it.
list(APPEND MIRVOX_PURE_SOURCES
    recorder/opendml_writer.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    recorder/file_sink.cpp
    recorder/avi_file_stream.cpp
)
