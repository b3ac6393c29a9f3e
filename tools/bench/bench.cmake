# The benchmark programs (run by tools/bench-grab.sh and tools/bench.sh); not tests.
add_executable(bench_grab ${CMAKE_SOURCE_DIR}/tools/bench/bench_grab.cpp)
target_link_libraries(bench_grab PRIVATE mirvox_core)
add_executable(bench_recorder ${CMAKE_SOURCE_DIR}/tools/bench/bench_recorder.cpp ${CMAKE_SOURCE_DIR}/res/mirvox.rc)
target_link_libraries(bench_recorder PRIVATE mirvox_core psapi)
set_target_properties(bench_grab bench_recorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools/bench)
