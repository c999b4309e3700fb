#include <gtest/gtest.h>

#include <QLabel>

#include "ftdi/ftdi_bridge.h"
#include "panel_harness.h"
#include "sim/mpsse_emulator.h"

namespace tonvisor::testing {
namespace {

// The program as it starts without --simulate: the FTDI backend, here on an emulated FT2232H.
struct BridgePanel : ::testing::Test {
  BridgePanel() {
    usb.attach(device);
    std::ofstream(script.toStdString()) << "Write 0x0030 0x4260\n";
    context.initScriptPath = script;
    sheet = std::make_unique<MainSheet>(context);
    sheet->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
  }

  QPushButton* button(const QString& name) const { return Control<QPushButton>(sheet.get(), name); }
  QString shownDevice() const { return sheet->findChild<QLabel*>("USB device")->text(); }

  ChipModel chip;
  EmulatedFt2232h device{chip};
  EmulatedUsb usb;
  FtdiBridge bridge{usb, std::nullopt};
  RecordingMessenger messages;
  DeviceLink link{bridge, messages, EthernetOptions{.pause = [](std::chrono::milliseconds) {}}};
  CodecOperations codec{link};
  InlineLinkRunner runner{link, codec, messages};
  PanelState state;
  FakeFileChooser files;
  QTemporaryDir temp;
  QString script = temp.filePath("init.txt");
  FakeUnsavedLogQuestion unsavedLog;
  PanelContext context{runner, state, files, unsavedLog};
  std::unique_ptr<MainSheet> sheet;
};

TEST_F(BridgePanel, ConnectsOverI2cAndSpiWithoutSimulateAndShowsWhichBridge) {
  EXPECT_EQ(shownDevice(), "");
  Click(button("Connect"));
  EXPECT_EQ(shownDevice(), "FT2232H FT0EMU01 (Dual RS232-HS)");
  Click(button("Config Clock"));  // 256xFs, 48 kHz, Master: the role pins 0 low, 1 high
  EXPECT_EQ(chip.read(0x0006), 0x0080);
  EXPECT_EQ(device.busBLatch(), 0x02);
  EXPECT_EQ(device.stats().contention + device.stats().timingViolations, 0u);

  Choose(Control<QComboBox>(sheet.get(), "Connection Type"), "SPI");
  Click(button("Connect"));
  EXPECT_EQ(shownDevice(), "FT2232H FT0EMU01 (Dual RS232-HS)");
  Click(button("Chip Initialize"));
  EXPECT_EQ(chip.read(0x0030), 0x4260);
  EXPECT_EQ(device.spiTrace(), (Lines{"00 30 42 60"}));

  // Another link gives the bridge back.
  Choose(Control<QComboBox>(sheet.get(), "Connection Type"), "Ethernet");
  Type(Control<QLineEdit>(sheet.get(), "Ethernet Address"), "127.0.0.1");
  Click(button("Connect"));
  EXPECT_EQ(shownDevice(), "");
  EXPECT_FALSE(device.claimed(ftdi::Channel::A));
  // Only the Ethernet Connect's Read Chip had something to say: no board answers there.
  ASSERT_EQ(messages.messages.size(), 2u);
  EXPECT_EQ(messages.messages[0].text, "Connecting to socket Failed");
}

}  // namespace
}  // namespace tonvisor::testing
