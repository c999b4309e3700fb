# The panel: start-up to the first shown window and its resident memory, and re-rendering a
# full 2,000-entry write log when the monitor's display mode changes.
if(TONVISOR_BUILD_GUI)
  add_executable(panel_bench panel_bench.cpp)
  target_link_libraries(panel_bench PRIVATE tonvisor_panel tonvisor_sim benchmark::benchmark)
endif()
