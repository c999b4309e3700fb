# The panel with all its pages against a bare Qt Widgets window with as many tabs: start-up to
# the first painted frame and resident memory, each in fresh processes.
if(TONVISOR_BUILD_GUI)
  add_executable(pages_bench pages_bench.cpp)
  target_link_libraries(pages_bench PRIVATE tonvisor_panel tonvisor_sim)
endif()
# Every page following a change of every register in the link's cache (goal: one frame).
if(TONVISOR_BUILD_GUI)
  add_executable(follow_bench follow_bench.cpp)
  target_link_libraries(follow_bench PRIVATE tonvisor_panel tonvisor_sim)
endif()
