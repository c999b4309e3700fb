#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ftdi/ftdi_port.h"
#include "link/usb_bridge.h"
#include "sim/chip_model.h"

namespace tonvisor {

// What the program was asked for at start-up.
struct BackendRequest {
  bool simulate = false;                // --simulate
  std::optional<std::string> device;    // --device SERIAL|INDEX
  ChipModel* simulatedChip = nullptr;   // the chip behind "sim"; one of its own when null
  ftdi::FtdiUsb* usb = nullptr;         // the USB bus behind "ftdi"; libftdi1's when null
};

// The USB bridge the program talks through, and what it needs to live as long as it does.
struct UsbBackend {
  std::string name;  // "sim", "ftdi" or "none"
  std::string note;  // "none": why USB cannot be used here
  std::unique_ptr<ChipModel> chip;
  std::unique_ptr<ftdi::FtdiUsb> usb;
  std::unique_ptr<UsbBridge> bridge;
};

// Chooses the backend from the table, first row that applies: "sim" for --simulate, "ftdi"
// (an FT2232H through libftdi1) whenever the USB bus can be read, "none" (every access
// fails as with nothing plugged in) when it cannot. A bridge that is not plugged in yet
// does not make it "none": the FTDI backend looks for it at every Connect.
UsbBackend ChooseUsbBackend(const BackendRequest& request);

}  // namespace tonvisor
