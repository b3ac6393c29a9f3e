# The portable tests, built natively with sanitizers and for Win32 (run under Wine), and the strict AVI
# reader they share with the platform tests.
set(MIRVOX_PURE_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/support/avi_reader.cpp)
foreach(name caption frame_writer_thread opendml_writer pixel_deflate ui_logic zmbv)
    list(APPEND MIRVOX_PURE_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/pure/${name}_test.cpp)
endforeach()
