# The thin layer over the platform's user-interface services.
list(APPEND MIRVOX_PURE_SOURCES
    platform/dialog_init_data.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    platform/ansi_text.cpp
    platform/app_name.cpp
    platform/dialog_base.cpp
    platform/ui_text.cpp
)
