# The settings store, the tooltip texts and the output path split.
list(APPEND MIRVOX_PURE_SOURCES
    settings/settings_decode.cpp
    ui/path_split.cpp
    ui/tray_tip.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    settings/settings_store.cpp
)
