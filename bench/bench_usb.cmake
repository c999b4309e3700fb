# USB bridge: register accesses through the FTDI backend into the emulated FT2232H with a
# latency model, against the limit of bus time plus one USB round trip.
add_executable(usb_bench usb_bench.cpp)
target_link_libraries(usb_bench PRIVATE tonvisor_ftdi tonvisor_sim tonvisor_link)
# Read Chip over Ethernet (against reads x 20 ms) and on the emulated FT2232H (against bus
# time plus one round trip per read).
add_executable(read_chip_bench read_chip_bench.cpp)
target_link_libraries(read_chip_bench PRIVATE tonvisor_scripts tonvisor_codec tonvisor_ftdi tonvisor_sim tonvisor_link)
