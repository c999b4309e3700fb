# Ethernet link: paced accesses against N x 20 ms, and the board emulator's throughput.
add_executable(ethernet_bench ethernet_bench.cpp)
target_link_libraries(ethernet_bench PRIVATE tonvisor_sim tonvisor_link)
