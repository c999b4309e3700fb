# Script files: replaying a 1,000-write script on the simulated bridge, rendering and saving a
# full 2,000-entry write log in both forms.
add_executable(script_bench script_bench.cpp)
target_link_libraries(script_bench PRIVATE tonvisor_scripts tonvisor_sim benchmark::benchmark)
