# The recorder window and its companions, and the application frame.
list(APPEND MIRVOX_WIN32_SOURCES
    app/about_dlg.cpp
    app/recorder_app.cpp
    ui/caption_dlg.cpp
    ui/caption_settings.cpp
    ui/output_file_chooser.cpp
    ui/recorder_dlg.cpp
    ui/recorder_settings.cpp
    ui/recording_clock.cpp
    ui/recording_control.cpp
    ui/source_list.cpp
    ui/tray_icon.cpp
)
