# The caption burnt into every frame, and the recording's tick interval.
list(APPEND MIRVOX_PURE_SOURCES
    recorder/caption_format.cpp
    recorder/caption_placement.cpp
    recorder/time_zone_names.cpp
    ui/recording_timing.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    recorder/caption_overlay.cpp
    recorder/local_caption_text.cpp
)
