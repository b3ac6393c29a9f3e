# The recorder window and its companions.
list(APPEND MIRVOX_PURE_SOURCES
    ui/path_split.cpp
    ui/recording_timing.cpp
    ui/tray_tip.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    ui/about_dlg.cpp
    ui/caption_dlg.cpp
    ui/recorder_dlg.cpp
    ui/recording_clock.cpp
    ui/recording_control.cpp
    ui/source_list.cpp
    ui/tray_icon.cpp
)
