# reader_bench: reads a generated 200 MB order file with asigne_valores as the
# record handler and reports the throughput (bytes_per_second).
find_package(benchmark REQUIRED)
add_executable(reader_bench ${CMAKE_CURRENT_LIST_DIR}/reader_bench.cpp)
target_link_libraries(reader_bench PRIVATE import benchmark::benchmark)
