# The lossless screen codec: the ZMBV encoder and decoder (portable) and its Video for Windows driver.
list(APPEND MIRVOX_PURE_SOURCES
    codec/zmbv_decoder.cpp
    codec/zmbv_encoder.cpp
    codec/zmbv_scroll.cpp
)
list(APPEND MIRVOX_WIN32_SOURCES
    codec/screen_codec_driver.cpp
)
if(MIRVOX_NATIVE)
    list(APPEND MIRVOX_PURE_LIBS z)
else()
    # The static zlib, so the program needs no zlib1.dll beside it.
    list(APPEND MIRVOX_PURE_LIBS /usr/x86_64-w64-mingw32/lib/libz.a)
endif()
