# The settings store: decoding of stored values (portable) and the registry glue.
list(APPEND MIRVOX_PURE_SOURCES
    settings/settings_decode.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    settings/settings_store.cpp
)
