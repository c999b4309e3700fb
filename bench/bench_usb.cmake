# USB bridge: register accesses through the FTDI backend into the emulated FT2232H with a
# latency model, against the limit of bus time plus one USB round trip.
add_executable(usb_bench usb_bench.cpp)
target_link_libraries(usb_bench PRIVATE tonvisor_ftdi tonvisor_sim tonvisor_link)
