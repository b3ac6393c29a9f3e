# The portable tests, built natively with sanitizers and for Win32 (run under Wine), and the strict AVI
# reader they share with the platform tests.
set(MIRVOX_PURE_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/pure/caption_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/dialog_init_data_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/frame_writer_thread_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/opendml_writer_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/settings_decode_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/ui_logic_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/pure/zmbv_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/avi_reader.cpp
)
