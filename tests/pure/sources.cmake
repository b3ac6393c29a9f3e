# The portable tests, built natively with sanitizers and for Win32 (run under Wine).
set(MIRVOX_PURE_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/pure/caption_format_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/caption_placement_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/dialog_init_data_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/frame_writer_thread_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/opendml_writer_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/path_split_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/recording_timing_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/settings_decode_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/time_zone_names_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/tray_tip_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/zmbv_encoder_test.cpp
    # The strict AVI reader is portable test support the portable tests share.
    ${CMAKE_SOURCE_DIR}/tests/support/avi_reader.cpp
)
