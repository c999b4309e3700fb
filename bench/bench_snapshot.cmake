# Snapshots: Read All on the simulated bridge, and over Ethernet against the board emulator
# with the board's 20 ms pause (against 53 x 20 ms).
add_executable(snapshot_bench snapshot_bench.cpp)
target_link_libraries(snapshot_bench PRIVATE tonvisor_scripts tonvisor_sim)
