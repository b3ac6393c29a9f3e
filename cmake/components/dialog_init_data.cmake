# Reader of a dialog's initial data (the items its combo boxes receive from the template).
list(APPEND MIRVOX_PURE_SOURCES
    platform/dialog_init_data.cpp
)
