# The parametric-EQ designer: seven bands designed and their response at 512 frequencies, and
# one edit recomputed and redrawn in the plot.
if(TONVISOR_BUILD_GUI)
  add_executable(peq_bench peq_bench.cpp)
  target_link_libraries(peq_bench PRIVATE tonvisor_panel benchmark::benchmark)
endif()
