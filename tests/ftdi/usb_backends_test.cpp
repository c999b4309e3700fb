#include <gtest/gtest.h>

#include "backends/usb_backends.h"
#include "link/device_link.h"
#include "sim/mpsse_emulator.h"
#include "support/recording_messenger.h"

namespace tonvisor {
namespace {

// A machine where libusb cannot start (a container without USB, say).
class UnreadableUsb final : public ftdi::FtdiUsb {
 public:
  ftdi::PortStatus list(std::vector<ftdi::DeviceInfo>&) override {
    return ftdi::PortStatus::Fail(ftdi::PortError::Io, "libusb_init() failed");
  }
  std::unique_ptr<ftdi::FtdiPort> makePort() override { return nullptr; }
};

TEST(UsbBackends, SimForSimulateFtdiWhereverUsbCanBeReadNoneElsewhere) {
  EmulatedUsb empty;
  UnreadableUsb unreadable;
  ChipModel chip;
  EXPECT_EQ(ChooseUsbBackend({true, std::nullopt, &chip, &unreadable}).name, "sim");

  // Nothing plugged in yet is still the FTDI backend: it looks again at every Connect. (The
  // bridge is declared first so that it outlives the backend, which lets go of it at the end.)
  EmulatedFt2232h late{chip};
  UsbBackend ftdi = ChooseUsbBackend({false, std::nullopt, nullptr, &empty});
  EXPECT_EQ(ftdi.name, "ftdi");
  empty.attach(late);
  EXPECT_TRUE(ftdi.bridge->i2c().open(kI2cStandardClockHz).ok());

  const UsbBackend none = ChooseUsbBackend({false, std::string("0"), nullptr, &unreadable});
  EXPECT_EQ(none.name, "none");
  EXPECT_EQ(none.note, "the USB bus cannot be read (libusb_init() failed)");
  EXPECT_EQ(none.bridge->i2c().open(kI2cStandardClockHz).code, bridge::kDeviceNotFound);
}

}  // namespace
}  // namespace tonvisor
