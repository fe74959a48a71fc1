# import_bench: whole-run import throughput against a raw-insert baseline on a
# generated company and order file (a program, not a test). See the header
# comment of import_bench.cpp for its options.
add_executable(import_bench
  ${CMAKE_CURRENT_LIST_DIR}/import_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/import_bench_phases.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tcp_proxy.cpp)
find_package(Threads REQUIRED)
target_link_libraries(import_bench PRIVATE import Threads::Threads)
target_compile_definitions(import_bench PRIVATE IMPORTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
# The import runs through batch mode's own entry when the front ends are built;
# otherwise the bench drives the same run with a screen that paints nothing.
if(TARGET batch)
  target_link_libraries(import_bench PRIVATE batch)
  target_compile_definitions(import_bench PRIVATE IMPORTA_BENCH_BATCH)
endif()
