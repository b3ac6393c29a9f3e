# The recording engine: frame grabber and AVI capture object.
list(APPEND MIRVOX_PURE_SOURCES
    recorder/frame_layout.cpp
    recorder/output_path.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    recorder/avi_capture.cpp
    recorder/frame_grabber.cpp
    recorder/codec_choice.cpp
)
