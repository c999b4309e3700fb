#pragma once

#include <iosfwd>
#include <span>
#include <string>

#include "ftdi/ftdi_port.h"
#include "link/ethernet_transport.h"
#include "sim/chip_model.h"

namespace tonvisor::cli {

// What a test may put in place of the program's own pieces.
struct Environment {
  // The chip behind --simulate; the run makes its own when this is null.
  ChipModel* simulatedChip = nullptr;
  EthernetOptions ethernet;
  // The USB bus the FTDI backend looks for bridges on; libftdi1's when null.
  ftdi::FtdiUsb* usb = nullptr;
};

// The whole tool: parses the arguments (without the program name), connects, runs the
// commands, saves the log. Values go to out, messages and errors to err. Returns the exit
// status (kExitOk, kExitFailure or kExitUsage).
int RunCli(std::span<const std::string> args, std::ostream& out, std::ostream& err,
           const Environment& environment = {});

}  // namespace tonvisor::cli
