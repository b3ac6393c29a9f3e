# The OpenDML writer (portable) and its file and IAVIStream glue.
list(APPEND MIRVOX_PURE_SOURCES
    avi/opendml_writer.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    avi/avi_file_stream.cpp
    avi/file_sink.cpp
)
