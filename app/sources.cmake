# The application object; the entry point (app/main.cpp) belongs to the program alone.
list(APPEND MIRVOX_WIN32_SOURCES
    app/recorder_app.cpp
)
