# The panel with all its pages against a bare Qt Widgets window with as many tabs: start-up to
# the first painted frame and resident memory, each in fresh processes.
if(TONVISOR_BUILD_GUI)
  add_executable(pages_bench pages_bench.cpp)
  target_link_libraries(pages_bench PRIVATE tonvisor_panel tonvisor_sim)
endif()
