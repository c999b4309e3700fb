# The window's thread during long actions, with the link on its own thread: the longest stall.
if(TONVISOR_BUILD_GUI)
  add_executable(stall_bench stall_bench.cpp)
  target_link_libraries(stall_bench PRIVATE tonvisor_panel tonvisor_sim)
endif()
