# The recording engine: the capture object, the frame grabber and the caption.
list(APPEND MIRVOX_PURE_SOURCES
    recorder/caption_format.cpp
    recorder/caption_placement.cpp
    recorder/frame_writer_thread.cpp
    recorder/output_path.cpp
    recorder/time_zone_names.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    recorder/avi_capture.cpp
    recorder/caption_overlay.cpp
    recorder/codec_choice.cpp
    recorder/frame_canvas.cpp
    recorder/frame_grabber.cpp
    recorder/local_caption_text.cpp
)
