# Python module: register accesses per second from Python against the same accesses from C++
# (access_bench) on the simulated chip, and over Ethernet against tonvisor-board.
add_executable(access_bench access_bench.cpp)
target_link_libraries(access_bench PRIVATE tonvisor_sim tonvisor_link benchmark::benchmark)

if(TONVISOR_PYTHON)
  set(BENCH_PYTHON ${Python3_EXECUTABLE})
  set(BENCH_PYTHONPATH ${CMAKE_BINARY_DIR}/python)
  set(BENCH_ACCESS $<TARGET_FILE:access_bench>)
  set(BENCH_BOARD $<TARGET_FILE:tonvisor-board>)
  set(BENCH_CLI $<TARGET_FILE:tonvisor-cli>)
  # Executable, beside the other benchmark programs, so that make bench runs it.
  configure_file(python_bench.py ${CMAKE_CURRENT_BINARY_DIR}/python_bench.py.in @ONLY)
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/python_bench INPUT ${CMAKE_CURRENT_BINARY_DIR}/python_bench.py.in
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
