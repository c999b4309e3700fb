#include <gtest/gtest.h>

#include <QAccessible>
#include <QFormLayout>
#include <QLabel>

#include "codec/register_map.h"
#include "panel/initialization_page.h"
#include "panel/ipv4_address_edit.h"
#include "panel_harness.h"
#include "sim/board_server.h"

namespace tonvisor::testing {
namespace {

using RecordedPanel = PanelTest;
struct SimulatedPanel : PanelTest {
  SimulatedPanel() : PanelTest(true) {}
};

std::string FromPage(const std::string& text) { return "Tonvisor | InitializationPage | " + text; }

TEST_F(RecordedPanel, EachLinkShowsItsOwnFields) {
  const auto visible = [this](const char* field) {  // the field and its caption: "11", "00"
    QWidget* caption = static_cast<QFormLayout*>(box(field)->parentWidget()->layout())->labelForField(box(field));
    // Appended, not to_string(...) + to_string(...): GCC 12 at -O3 reports a false -Wrestrict overlap.
    std::string shown = std::to_string(box(field)->isVisible());
    shown += std::to_string(caption->isVisible());
    return shown;
  };
  // The background of the I2C Address box where no text is.
  const auto background = [this] {
    QLineEdit* address = box("I2C Address");
    return address->grab().toImage().pixelColor(address->width() - 6, address->height() / 2);
  };
  const QColor editable = background();
  QLabel* spiNote = sheet->findChild<QLabel*>("SpiNote");
  ASSERT_NE(spiNote, nullptr);
  const struct { const char* type; const char* ethernet; bool spi; } links[] = {
      {"I2C", "00", false}, {"SPI", "00", true}, {"Ethernet", "11", false}, {"I2C", "00", false}};
  for (const auto& shown : links) {
    SCOPED_TRACE(shown.type);
    if (&shown != links) Choose(list("Connection Type"), shown.type);  // the first is the page as it opens
    EXPECT_EQ(link.settings().connectionType, shown.type);
    // Read-only, it keeps its text and looks it: the window's colour, not a box to type in.
    const bool readOnly = std::string(shown.type) != "I2C";
    EXPECT_EQ(box("I2C Address")->isReadOnly(), readOnly);
    EXPECT_EQ(box("I2C Address")->text(), "A");
    EXPECT_EQ(background() != editable, readOnly);
    EXPECT_EQ(visible("I2C Address"), "11");
    EXPECT_EQ(visible("Ethernet Address"), shown.ethernet);
    EXPECT_EQ(visible("Port"), shown.ethernet);
    EXPECT_EQ(spiNote->isVisible(), shown.spi);
  }
  // A screen reader reads the note's text.
  const QString note = "This software allows use of SPI only for direct register write and to run scripts";
  EXPECT_EQ(spiNote->text(), note);
  EXPECT_EQ(QAccessible::queryAccessibleInterface(spiNote)->text(QAccessible::Name), note);
  EXPECT_EQ(box("Port")->text(), "30");
}

TEST_F(RecordedPanel, ReturnInTheLinksBoxesConnectsAndInExtMclkDoesNothing) {
  // I2C: Return connects once; Connect is then disabled and Return does nothing more.
  Type(box("I2C Address"), "1a");
  QTest::keyClick(box("I2C Address"), Qt::Key_Return);
  EXPECT_EQ(bridge.callsTo("i2c open").size(), 1u);
  EXPECT_FALSE(button("Connect")->isEnabled());
  QTest::keyClick(box("I2C Address"), Qt::Key_Enter);
  EXPECT_EQ(bridge.callsTo("i2c open").size(), 1u);

  // Ext MCLK: no clock programmed, with or without the PLL, nothing said.
  link.writeLog().appendComment("# kept\n");
  bridge.calls.clear();
  for (const char* source : {"256xFs", "PLL"}) {
    Choose(list("SYS_MCLK"), source);
    for (const char* text : {"12.288", "abc"}) {
      Type(box("Ext MCLK Rate (MHz)"), text);
      QTest::keyClick(box("Ext MCLK Rate (MHz)"), Qt::Key_Return);
    }
  }
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_EQ(link.writeLog().count(), 1u);

  // SPI: the I2C Address box is read-only and its Return does not open SPI.
  Choose(list("Connection Type"), "SPI");
  QTest::keyClick(box("I2C Address"), Qt::Key_Return);
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_TRUE(button("Connect")->isEnabled());

  // Ethernet: Return in the address or the port checks them as Connect does.
  Choose(list("Connection Type"), "Ethernet");
  QTest::keyClick(box("Ethernet Address"), Qt::Key_Return);  // blank
  Type(box("Ethernet Address"), "127.0.0.20");
  Type(box("Port"), "5000");
  QTest::keyClick(box("Port"), Qt::Key_Return);
  EXPECT_FALSE(button("Connect")->isEnabled());
  EXPECT_EQ(link.settings().ethernetPort, 5000u);
  // The Connect that went through reads the chip: no board answers there.
  EXPECT_EQ(shown(), (Lines{FromPage(" Invalid IP Address "), "Tonvisor | main window | Connecting to socket Failed",
                            FromPage("Read Chip: 53 of 53 register accesses did not reach the chip. The first: could "
                                     "not connect to the board at 127.0.0.20:5000 for the read of register 0x0000.")}));
  EXPECT_EQ(link.writeLog().count(), 0u);  // emptied by the Connects, as by the button
}

TEST_F(RecordedPanel, ConnectOnI2cOpensTheTypedHexAddressOrSaysWhyNotAndAlwaysEmptiesTheLog) {
  // "0x" still holds the digit 0: that is device address 0, opened as typed.
  const struct { const char* text; int address; } cases[] = {{"0x1A", 0x1A}, {"0x", 0}, {"1a", 0x1A}};
  Lines opened{"i2c open 100 kHz"};
  for (const auto& typed : cases) {
    SCOPED_TRACE(typed.text);
    bridge.calls.clear();
    Type(box("I2C Address"), typed.text);
    Click(button("Connect"));
    // Then Read Chip reads every register at that address.
    EXPECT_EQ(bridge.i2cReads().size(), 53u);
    std::erase_if(bridge.calls, [](const std::string& call) { return call.ends_with("read 2"); });
    EXPECT_EQ(bridge.calls, opened);
    // From the second Connect on, the channel is given back before it is opened again: a
    // claimed USB interface cannot be opened twice.
    if (opened.front() != "i2c close") opened.insert(opened.begin(), "i2c close");
    EXPECT_EQ(link.settings().i2cAddress, typed.address);
    EXPECT_FALSE(button("Connect")->isEnabled());
    // Only choosing a link again enables Connect.
    Choose(list("Connection Type"), "SPI");
    EXPECT_TRUE(button("Connect")->isEnabled());
    Choose(list("Connection Type"), "I2C");
  }

  bridge.calls.clear();
  bridge.setResult("i2c.open", bridge::kDeviceNotFound);
  for (const char* text : {"A", "zz", "", "  "}) {
    link.writeLog().appendComment("# before\n");
    Type(box("I2C Address"), text);
    Click(button("Connect"));
    EXPECT_EQ(link.writeLog().count(), 0u) << text;  // also when the press then fails
  }
  EXPECT_EQ(bridge.calls, (Lines{"i2c close", "i2c open 100 kHz"}));  // for "A" only
  EXPECT_EQ(link.settings().i2cAddress, 0x1A);  // still the one last opened
  EXPECT_TRUE(button("Connect")->isEnabled());
  const std::string refused = FromPage("The I2C Address must be a hexadecimal number, such as A or 0x0A.");
  EXPECT_EQ(shown(), (Lines{FromPage("I2C Initialization Error"),
                            FromPage("The I2C channel could not be opened: no USB bridge is plugged in."), refused,
                            refused, refused}));
}

TEST_F(RecordedPanel, ConnectOnSpiOpensTheChannelOrSaysItDidNotAndConfigClockLeavesTheRolePinsAlone) {
  bridge.setResult("spi.open", bridge::kDeviceBusy);
  Choose(list("Connection Type"), "SPI");
  Click(button("Connect"));
  EXPECT_TRUE(button("Connect")->isEnabled());
  EXPECT_EQ(shown(), (Lines{FromPage("SPI Initialization Error"),
                            FromPage("The SPI channel could not be opened: the USB bridge is in use by another "
                                     "program.")}));
  bridge.setResult("spi.open", bridge::kOk);
  bridge.calls.clear();
  Click(button("Connect"));
  EXPECT_FALSE(button("Connect")->isEnabled());
  EXPECT_EQ(bridge.calls.front(), "spi open 400 kHz mode 0");

  Choose(list("I2S Clock - Master/Slave"), "Slave");
  bridge.calls.clear();
  messages.clear();
  Click(button("Config Clock"));
  // SPI cannot modify a register: without the PLL nothing at all goes out, and each of the
  // five field changes is still tried and refused by the link, which says so once; the
  // press ends by saying that the clocks were not programmed.
  EXPECT_TRUE(bridge.callsTo("busB write").empty());
  EXPECT_TRUE(bridge.callsTo("spi write").empty());
  EXPECT_EQ(shown(), (Lines{"Error | none |  Modify Register Not Supported",
                            FromPage("Config Clock: 5 of 5 register accesses did not reach the chip. The first: SPI "
                                     "cannot read-modify-write register 0x000E (it can only write).")}));
}

TEST_F(RecordedPanel, EthernetConnectChecksAddressAndPortAndOpensNothing) {
  Choose(list("Connection Type"), "Ethernet");
  const LinkSettings& settings = link.settings();
  const LinkSettings before = settings;
  Click(button("Connect"));  // blank address, port 30

  // The field takes only numbers of 0 to 255: the third digit of "300" is refused.
  Type(box("Ethernet Address"), "300.1");
  EXPECT_EQ(static_cast<Ipv4AddressEdit*>(box("Ethernet Address"))->dottedText(), "30.1.0.0");
  Type(box("Port"), "0");
  Click(button("Connect"));
  for (const char* port : {"70000", "3x", "", "-1"}) {
    Type(box("Port"), port);
    Click(button("Connect"));
  }
  // A refused Connect keeps the board in use as it was.
  EXPECT_EQ(settings.ethernetAddress, before.ethernetAddress);
  EXPECT_EQ(settings.ethernetPort, before.ethernetPort);
  const std::string badPort = FromPage("The Port must be a whole number from 0 to 65535.");
  EXPECT_EQ(shown(), (Lines{FromPage(" Invalid IP Address "), FromPage(" Invalid Socket "), badPort, badPort, badPort,
                            badPort}));

  Type(box("Ethernet Address"), "127.0.0.20");
  Type(box("Port"), "5000");
  Click(button("Connect"));
  EXPECT_EQ(messages.messages.size(), 8u);  // and Read Chip finds no board there
  EXPECT_FALSE(button("Connect")->isEnabled());
  EXPECT_EQ(settings.ethernetAddress, "127.0.0.20");
  EXPECT_EQ(settings.ethernetPort, 5000u);
  EXPECT_TRUE(bridge.calls.empty());
}

TEST_F(SimulatedPanel, ChipInitializeRunsItsScriptOnceAndSaysUnownedWhenItIsMissing) {
  // The fixed path is no file here: the press is spent all the same.
  EXPECT_EQ(context.initScriptPath, "c:\\KRVL7300_CA1_Init_Script.txt");
  Click(button("Chip Initialize"));
  EXPECT_EQ(shown(), (Lines{"Tonvisor | none | File Does Not Exist"}));
  EXPECT_FALSE(button("Chip Initialize")->isEnabled());

  messages.clear();
  context.initScriptPath = writeFile("init.txt", "# power up\nWrite CHIP_ANA_POWER_REG 0x4260\nWrite 0x0024 0120\n");
  show();
  Click(button("Connect"));
  Click(button("Chip Initialize"));
  EXPECT_EQ(LogLines(link.writeLog()), (Lines{"   \n", "# power up\n", "W 0030 4260", "W 0024 0120"}));
  EXPECT_FALSE(button("Chip Initialize")->isEnabled());
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedPanel, ConfigClockOverI2cMutesProgramsSetsTheRolePinsAndUnmutes) {
  Click(button("Connect"));
  bridge.calls.clear();
  Click(button("Config Clock"));  // 256xFs, 48 kHz, Master
  EXPECT_EQ(LogLines(link.writeLog()),
            (Lines{"   \n", "# Write DAC mute/unmute\n", "W 000E 000C",            //
                   "   \n", "# Configure SYS MCLK\n", "W 0004 0000",               //
                   "   \n", "# Configure sample rate\n", "W 0004 0008",            //
                   "   \n", "# Configure I2S Master/slave\n", "W 0006 0080",       //
                   "   \n", "# Write DAC mute/unmute\n", "W 000E 0000"}));
  EXPECT_EQ(state.systemSampleRate, 48000.0);

  // Pin 0 low, then pin 1 high, between the sample rate and the I2S role.
  Lines writes;  // the pin writes and the register writes
  for (const std::string& call : bridge.calls) {
    if (call.starts_with("busB write") || (call.starts_with("i2c 0x0A write") && call.find(" read ") == std::string::npos)) {
      writes.push_back(call);
    }
  }
  EXPECT_EQ(writes, (Lines{"i2c 0x0A write 00 0E 00 0C", "i2c 0x0A write 00 04 00 00", "i2c 0x0A write 00 04 00 08",
                           "busB write 00", "busB write 02", "i2c 0x0A write 00 06 00 80",
                           "i2c 0x0A write 00 0E 00 00"}));

  // Slave: pin 0 high, then pin 1 low.
  bridge.calls.clear();
  Choose(list("I2S Clock - Master/Slave"), "Slave");
  Click(button("Config Clock"));
  EXPECT_EQ(bridge.callsTo("busB write"), (Lines{"busB write 03", "busB write 01"}));

  // A rate the chip did not take is not the system's rate: the AVC works from the last one.
  Choose(list("System Sample Rate"), "96 kHz");
  bridge.setResult("i2c.write", bridge::kUsbError);
  Click(button("Config Clock"));
  EXPECT_EQ(state.systemSampleRate, 48000.0);
}

TEST_F(SimulatedPanel, ConfigClockWithThePllProgramsTheWorkedDivisors) {
  const struct { const char* extMclk; const char* rate; bool halved; int integer, fraction; } rows[] = {
      {"12.288", "48 kHz", false, 16, 0},     {"12.288", "44.1 kHz", false, 14, 1433},
      {"11.2896", "44.1 kHz", false, 16, 0},  {"12", "48 kHz", false, 16, 786},
      {"24", "44.1 kHz", true, 15, 108},      {"24.576", "44.1 kHz", true, 14, 1433},
      {"17", "48 kHz", false, 11, 1157},      {"18.432", "44.1 kHz", true, 19, 1228},
      {"17.5", "32 kHz", true, 22, 961},  // 8.75 MHz after halving
  };
  Click(button("Connect"));
  Choose(list("SYS_MCLK"), "PLL");
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.extMclk) + " MHz at " + row.rate);
    Type(box("Ext MCLK Rate (MHz)"), row.extMclk);
    Choose(list("System Sample Rate"), row.rate);
    Click(button("Config Clock"));
    EXPECT_EQ(chip.read(reg::CHIP_PLL_CTRL_REG), (row.integer << 11) | row.fraction);
    EXPECT_EQ((chip.read(reg::CHIP_CLK_TOP_CTRL_REG) >> 3) & 1, row.halved ? 1 : 0);
  }
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedPanel, AnExtMclkThatIsNoPositiveNumberStopsThePllBeforeAnyWrite) {
  Click(button("Connect"));
  Choose(list("SYS_MCLK"), "PLL");
  bridge.calls.clear();
  const char* refused[] = {"", "abc", "0", "-12.288", "1e-50", "inf", "nan", "--5"};
  for (const char* text : refused) {
    Type(box("Ext MCLK Rate (MHz)"), text);
    Click(button("Config Clock"));
  }
  const std::string refusal = FromPage("The Ext MCLK Rate (MHz) must be a positive number, such as 12.288.");
  EXPECT_EQ(shown(), Lines(std::size(refused), refusal));
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_EQ(link.writeLog().count(), 0u);
  EXPECT_EQ(state.systemSampleRate, 0.0);

  // Read as "%f" reads: the number that starts the text counts.
  messages.clear();
  Type(box("Ext MCLK Rate (MHz)"), " 12.288MHz");
  Click(button("Config Clock"));
  EXPECT_EQ(WritesIn(LogLines(link.writeLog())).at(3), "W 0032 8000");  // the PLL divisor, 16 << 11

  // Without the PLL the clock text is not used at all.
  Type(box("Ext MCLK Rate (MHz)"), "abc");
  Choose(list("SYS_MCLK"), "512xFs");
  Click(button("Config Clock"));
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(RecordedPanel, AnExtMclkWhosePllDivisorDoesNotFitItsFieldIsRefusedNamingTheRange) {
  // The integer part of the divisor has five bits and must be at least 1: at 48 kHz (and 32
  // and 96) 6.144 MHz would need 32, at 44.1 kHz 5.6448 MHz would; above 17 MHz the clock
  // is halved, and from 393.22 (361.2708) MHz the integer part would be 0. The clock is read
  // in single precision, which moves the last edge: 361.2708 reads as 361.27081.
  const auto refusal = [](const std::string& rate) {
    return FromPage("With the PLL and a sample rate of " + rate + ", the Ext MCLK Rate (MHz) must be from " +
                    (rate == "44.1 kHz" ? "5.6449 to 361.2707." : "6.1441 to 393.2199."));
  };
  const struct { const char* rate; const char* extMclk; int integer; } cases[] = {
      {"48 kHz", "6.144", -1},   {"48 kHz", "6.1441", 31},   {"48 kHz", "393.2199", 1},
      {"48 kHz", "393.22", -1},  {"48 kHz", "1e3", -1},      {"48 kHz", "0.0001", -1},
      {"48 kHz", "1e-30", -1},   {"44.1 kHz", "5.6448", -1}, {"44.1 kHz", "5.6449", 31},
      {"44.1 kHz", "361.2707", 1}, {"44.1 kHz", "361.2708", -1}, {"96 kHz", "6.144", -1},
  };
  Click(button("Connect"));
  Choose(list("SYS_MCLK"), "PLL");
  Lines refusals;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.extMclk) + " MHz at " + c.rate);
    link.writeLog().clear();
    Choose(list("System Sample Rate"), c.rate);
    Type(box("Ext MCLK Rate (MHz)"), c.extMclk);
    Click(button("Config Clock"));
    const Lines writes = WritesIn(LogLines(link.writeLog()));
    if (c.integer < 0) {
      refusals.push_back(refusal(c.rate));
      EXPECT_TRUE(writes.empty());  // refused before the DAC is muted
    } else {
      ASSERT_EQ(writes.size(), 8u);
      EXPECT_EQ(std::stoi(writes.at(3).substr(7), nullptr, 16) >> 11, c.integer);  // "W 0032 xxxx"
    }
  }
  EXPECT_EQ(shown(), refusals);
}

TEST_F(RecordedPanel, ConfigClockWithThePllOverEthernetRunsTheSameEveryPressAndNeverTouchesThePins) {
  BoardServer board(chip);
  ASSERT_FALSE(board.start());
  Choose(list("Connection Type"), "Ethernet");
  Type(box("Ethernet Address"), "127.0.0.1");
  Type(box("Port"), QString::number(board.port()));
  Click(button("Connect"));
  ASSERT_FALSE(button("Connect")->isEnabled());
  Choose(list("SYS_MCLK"), "PLL");
  Choose(list("System Sample Rate"), "44.1 kHz");
  Choose(list("I2S Clock - Master/Slave"), "Slave");

  const Lines expected{"   \n", "# Write DAC mute/unmute\n",      "W 000E 000C",  //
                       "   \n", "# Initializing PLL Power\n",     "W 0030 0500",  //
                       "   \n", "# Configure SYS_MCLK div2\n",    "W 0034 0000",  //
                       "   \n", "# Configure PLL divisor\n",      "W 0032 7599",  // 14 << 11 | 1433
                       "   \n", "# Configure SYS MCLK\n",         "W 0004 0003",  //
                       "   \n", "# Configure sample rate\n",      "W 0004 0007",  //
                       "   \n", "# Configure I2S Master/slave\n", "W 0006 0000",  //
                       "   \n", "# Write DAC mute/unmute\n",      "W 000E 0000"};
  Click(button("Config Clock"));
  EXPECT_EQ(LogLines(link.writeLog()), expected);
  // A later press makes the same calls in the same order (the chip's registers now start
  // from what the first press left, so some values differ).
  link.writeLog().clear();
  Click(button("Config Clock"));
  EXPECT_EQ(WritesIn(LogLines(link.writeLog()), false), WritesIn(expected, false));
  EXPECT_EQ(chip.read(reg::CHIP_PLL_CTRL_REG), 0x7599);
  EXPECT_EQ(state.systemSampleRate, 44100.0);
  EXPECT_TRUE(bridge.calls.empty());
  EXPECT_TRUE(messages.messages.empty());
}

}  // namespace
}  // namespace tonvisor::testing
