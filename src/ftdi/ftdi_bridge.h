#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftdi/ftdi_port.h"
#include "link/usb_bridge.h"

namespace tonvisor {

// The USB bridge on a real FT2232H through libftdi1 (or, in tests, whatever FtdiUsb is
// given). Channel A runs the MPSSE as the I2C master (three-phase clocking, SDA driven only
// for the bridge's own bits, every acknowledge read back) or as the SPI master (mode 0, chip
// select on ADBUS3); channel B is bus B in bit-bang mode.
//
// Each I2C transaction is one USB round trip: all its commands go out in one write and all
// its acknowledges and data come back in one read, which is then checked for the first
// byte the chip did not acknowledge.
//
// Nothing is opened until a channel is: the bridge is looked for afresh at every open, so
// plugging it in (again) and pressing Connect is enough. A device that goes away in use
// fails every later access at once, without touching USB, until the channel is opened
// again. Bus B stays claimed between pin operations (opening a USB device costs
// milliseconds, and an SPI write makes two of them) until channel A closes or the bridge
// goes away; closing channel A returns its pins to inputs and releases the device.
class FtdiBridge final : public UsbBridge {
 public:
  // device: a serial number, or an index in the list of bridges (0 for the first); nothing
  // for the first bridge found.
  FtdiBridge(ftdi::FtdiUsb& usb, std::optional<std::string> device);
  ~FtdiBridge() override;
  FtdiBridge(const FtdiBridge&) = delete;
  FtdiBridge& operator=(const FtdiBridge&) = delete;

  I2cMaster& i2c() override;
  SpiMaster& spi() override;
  PinPort& busB() override;
  std::string deviceName() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// A listed bridge in words: "FT2232H FT6Z1ABC (Dual RS232-HS)".
std::string DescribeFtdiDevice(const ftdi::DeviceInfo& device);

}  // namespace tonvisor
