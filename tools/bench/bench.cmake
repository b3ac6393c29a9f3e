# The grab benchmark program (run by tools/bench-grab.sh); not a test.
add_executable(bench_grab ${CMAKE_SOURCE_DIR}/tools/bench/bench_grab.cpp)
target_link_libraries(bench_grab PRIVATE mirvox_core)
set_target_properties(bench_grab PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bench)
