# The built-in lossless screen codec: the encoder (portable) and its Video for Windows driver.
list(APPEND MIRVOX_PURE_SOURCES
    recorder/zmbv_encoder.cpp
    recorder/zmbv_scroll.cpp
)
if(MIRVOX_NATIVE)
    list(APPEND MIRVOX_PURE_LIBS z)
else()
    # The static zlib, so the program needs no zlib1.dll beside it.
    list(APPEND MIRVOX_PURE_LIBS /usr/x86_64-w64-mingw32/lib/libz.a)
endif()
list(APPEND MIRVOX_WIN32_SOURCES
    recorder/screen_codec_driver.cpp
)
