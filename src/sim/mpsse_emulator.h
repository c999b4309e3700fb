#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftdi/ftdi_port.h"
#include "sim/chip_model.h"

namespace tonvisor {

class EmulatedPort;

// An FT2232H as libftdi sees it, modelled below libftdi's byte stream, with a board behind
// it. Channel A runs the MPSSE: the commands that set and read the pins and their directions,
// clock bytes and bits out and in (MSB or LSB first, either edge), send-immediate, loopback
// and the clock set-up (divisor, divide-by-5, three-phase, adaptive). Other command bytes are
// answered as the real chip answers them: 0xFA and the byte (the FT232H-only open-drain
// command 0x9E included). The pins drive a modelled board:
//
//   ADBUS0  SCL / SCK          ADBUS1  SDA out / MOSI      ADBUS2  SDA in (wired to ADBUS1)
//   ADBUS3  SPI chip select    BDBUS0..7  bus B (bit-bang)
//
// with pull-ups on every line, the chip as an I2C slave (16-bit register pointer, then
// 16-bit values, each word moving the pointer on by 2) and as an SPI slave (mode 0, 16 bits
// of address and 16 of value per chip-select frame), both on the same ChipModel.
//
// Time on the lines: each set-pins or read-pins command takes a set time, clocked bits take
// their share of the SCL period, and SDA let go rises through its pull-up over a set rise
// time (a driven edge is immediate). A START or STOP is seen where SDA crosses while SCL is
// high, so SDA still rising when SCL goes up makes a STOP, as on a real bus.
//
// It checks what a real bus would punish: the bridge driving SDA high while the chip pulls
// it low, I2C data changing at a falling clock edge without three-phase clocking, every I2C
// bus time (SCL high and low, START and STOP set-up and hold, bus free, data set-up) against
// the shortest the clock rate's mode allows, SPI frames of the wrong length. And it can be
// told to fail: unplugged, no permission, claimed by another program or by a kernel driver
// that will not let go, an answer that comes back short, SDA held low.
//
// Channel A's pins in its default (UART) mode are driven as the FT2232H drives them: TXD on
// ADBUS0, RTS# on ADBUS2, DTR# on ADBUS4.
class EmulatedFt2232h {
 public:
  struct Identity {
    std::string serial = "FT0EMU01";
    std::string description = "Dual RS232-HS";
    std::string manufacturer = "FTDI";
  };

  // How long things take. With sleep on, the emulator waits the modelled times for real, so
  // that a benchmark measures what the backend adds on top of them.
  struct Timing {
    std::chrono::nanoseconds roundTrip{125000};  // one USB exchange the host waits for
    std::chrono::nanoseconds pinCommand{150};     // one set-pins or read-pins command
    std::chrono::nanoseconds riseTime{300};       // SDA from let go to high through the pull-up
    bool sleep = false;
  };

  // The shortest of each I2C bus time seen (nanoseconds::max() while none was), each from
  // the edge where it starts to the edge where it ends, while a transaction is under way.
  struct I2cTimesSeen {
    static constexpr std::chrono::nanoseconds kNone = std::chrono::nanoseconds::max();
    std::chrono::nanoseconds high = kNone;        // tHIGH
    std::chrono::nanoseconds low = kNone;         // tLOW
    std::chrono::nanoseconds startHold = kNone;   // tHD;STA
    std::chrono::nanoseconds startSetup = kNone;  // tSU;STA, before a repeated START
    std::chrono::nanoseconds stopSetup = kNone;   // tSU;STO
    std::chrono::nanoseconds busFree = kNone;     // tBUF, from a STOP to the next START
    std::chrono::nanoseconds dataSetup = kNone;   // tSU;DAT, SDA settled before SCL rises
    std::chrono::nanoseconds period = kNone;      // SCL rise to rise: the fastest clock reached
  };

  struct Stats {
    std::uint64_t roundTrips = 0;        // USB exchanges the host waited for
    std::uint64_t bulkWrites = 0;
    std::uint64_t bulkReads = 0;
    std::uint64_t controlTransfers = 0;  // reset, purge, latency timer, bit mode, pin reads
    std::uint64_t latencyTimerWaits = 0; // reads whose answer waited for the latency timer
    std::chrono::nanoseconds busTime{0}; // time the MPSSE spent executing commands
    std::uint64_t badCommands = 0;
    std::uint64_t contention = 0;        // times the bridge drove SDA high while something pulled it low
    std::uint64_t holdViolations = 0;    // I2C data changed at a falling SCL edge, three-phase off
    std::uint64_t timingViolations = 0;  // I2C bus times shorter than the clock rate's mode allows
    std::string firstTimingViolation;    // "tLOW 3.483 us, at least 4.700 us"
    I2cTimesSeen shortest;
    std::uint64_t i2cStarts = 0;
    double i2cSclHz = 0;                 // the clock rate at the last START
    std::uint64_t i2cStops = 0;
    std::uint64_t spiFrames = 0;
    std::uint64_t spiBadFrames = 0;      // chip select released after other than 32 bits
    std::uint64_t uartBytes = 0;         // written while the channel was in neither MPSSE nor bit-bang mode
    std::uint64_t kernelDriverDetaches = 0;
    std::uint64_t callsWhileGone = 0;    // calls on ports whose device had gone away
  };

  explicit EmulatedFt2232h(ChipModel& chip);
  EmulatedFt2232h(ChipModel& chip, Identity identity);
  ~EmulatedFt2232h();
  EmulatedFt2232h(const EmulatedFt2232h&) = delete;
  EmulatedFt2232h& operator=(const EmulatedFt2232h&) = delete;

  const Identity& identity() const { return m_identity; }
  void setTiming(const Timing& timing) { m_timing = timing; }

  // Faults.
  void unplug();  // leaves the bus; every open port fails from now on
  void plugIn();  // back, both channels unclaimed and reset; the chip keeps its registers
  bool pluggedIn() const { return m_plugged; }
  void denyPermission(bool denied) { m_permissionDenied = denied; }
  void claimElsewhere(ftdi::Channel channel, bool claimed);
  // The kernel's serial driver holds both channels; opening detaches it unless it cannot be.
  void bindKernelDriver(bool detachable);
  void loseAnswerBytes(std::size_t count) { m_loseBytes = count; }  // from the next read's answer
  void holdSdaLow(bool held);
  void setI2cAddress(std::uint8_t address) { m_i2cAddress = address; }
  // The chip leaves the byte at this place of every write unacknowledged (1: the register's
  // high byte, ..., 4: the value's low byte); 0 for none.
  void refuseWrittenByte(int place) { m_refusedByte = place; }

  // What happened.
  Stats stats() const;
  void clearStats();
  bool claimed(ftdi::Channel channel) const;
  std::uint8_t channelMode(ftdi::Channel channel) const;
  double sclHz() const;  // the rate bits are clocked at, three-phase clocking counted
  // Channel A's low-byte pins the bridge drives now (1 = driven), whatever its mode.
  std::uint8_t drivenPinsA() const;
  // Where it sits on the USB: a new address each time it is plugged in again.
  ftdi::DeviceSelector location() const { return {1, static_cast<std::uint8_t>(m_usbSlot + 16 * m_generation)}; }
  bool threePhase() const { return m_threePhase; }
  std::uint8_t busBLatch() const { return m_busBLatch; }  // the byte bus B was last written
  std::uint8_t busBOutputs() const { return static_cast<std::uint8_t>(m_busBLatch & m_b.mask); }
  std::uint8_t busBMask() const { return m_b.mask; }
  // Each I2C transaction as the chip saw it: "S 14+ 00+ 24+ 12+ 34+ P" (+ acknowledged,
  // - not), reads with "Sr", the bytes the chip sent and the bridge's answer to each.
  const std::vector<std::string>& i2cTrace() const { return m_i2cTrace; }
  // Each SPI frame the chip took: "00 24 12 34"; "bad frame of N bits" for the others.
  const std::vector<std::string>& spiTrace() const { return m_spiTrace; }
  void clearTraces();

 private:
  friend class EmulatedPort;
  friend class EmulatedUsb;
  using Clock = std::chrono::steady_clock;
  using nanoseconds = std::chrono::nanoseconds;

  struct ChannelState {
    bool claimedByPort = false;
    bool claimedElsewhere = false;
    bool kernelDriver = false;
    std::uint8_t mode = ftdi::kModeReset;
    std::uint8_t mask = 0;
    std::uint8_t latencyMs = 16;
    std::deque<std::uint8_t> answer;      // bytes waiting for the host
    bool flushed = true;                  // no answer byte waits for the latency timer
    std::vector<std::uint8_t> partial;    // a command still missing some of its bytes
    Clock::time_point busyUntil{};
    bool unansweredWrite = false;         // a bulk write no read has followed yet
  };

  enum class I2cState { Idle, Address, AddressAck, Receive, ReceiveAck, Transmit, TransmitAck, Ignore };

  ChannelState& channel(ftdi::Channel which) { return which == ftdi::Channel::A ? m_a : m_b; }
  void resetMpsse();

  // Bus-level work for the ports.
  void executeMpsse(ChannelState& state, const std::uint8_t* bytes, std::size_t count);
  std::size_t commandLength(const std::vector<std::uint8_t>& bytes, std::size_t at) const;
  void runCommand(ChannelState& state, const std::uint8_t* command);
  void shift(ChannelState& state, std::uint8_t opcode, std::size_t count, bool bits, const std::uint8_t* data);
  void clockOnly(std::size_t bits);
  void answer(ChannelState& state, std::uint8_t byte);
  void spendPinCommand();
  std::chrono::nanoseconds bitTime() const;

  // The modelled lines.
  bool pinLevel(int pin) const;
  bool sdaLevel() const { return m_sda; }
  bool sdaPulledLow() const;
  bool sdaDrivenHigh() const;
  bool sdaNow();
  void settleSda();
  void settleLines();
  void sdaChanged(bool level, nanoseconds at);
  std::uint8_t lowPinLevels() const;
  void updateLines();
  void sclRose(bool sda);
  void sclFell();
  void i2cStart(bool repeated, nanoseconds at);
  void i2cStop(nanoseconds at);
  bool i2cBusy() const { return m_i2c != I2cState::Idle && m_cs; }
  void checkTime(const char* name, nanoseconds seen, nanoseconds least, nanoseconds& shortest);
  void traceByte(std::uint8_t byte, bool acknowledged);

  // The latency model.
  void waitUntil(Clock::time_point end) const;
  void countWrite(ChannelState& state);

  ChipModel& m_chip;
  Identity m_identity;
  Timing m_timing;
  Stats m_stats;

  bool m_plugged = true;
  unsigned m_generation = 1;  // ports opened before an unplug belong to an older one
  unsigned m_usbSlot = 1;     // its place among the bridges attached
  bool m_permissionDenied = false;
  bool m_kernelDriverDetachable = true;
  std::size_t m_loseBytes = 0;
  bool m_sdaHeldLow = false;
  std::uint8_t m_i2cAddress = ChipModel::kI2cDeviceAddress;
  int m_refusedByte = 0;

  ChannelState m_a;
  ChannelState m_b;

  // Channel A's MPSSE.
  std::uint8_t m_lowValue = 0;
  std::uint8_t m_lowDir = 0;
  std::uint8_t m_highValue = 0;
  std::uint8_t m_highDir = 0;
  bool m_divideBy5 = true;
  bool m_threePhase = false;
  bool m_loopback = false;
  std::uint16_t m_divisor = 0;
  std::chrono::nanoseconds m_cursor{0};  // time into the batch being executed

  // Channel B's pins.
  std::uint8_t m_busBLatch = 0;

  // The lines as last seen, and the chip's side of them.
  bool m_scl = true;
  bool m_sda = true;
  bool m_cs = true;
  std::optional<nanoseconds> m_sdaRiseDue;  // SDA let go and still rising: when it will be high
  nanoseconds m_sclRoseAt{0};
  nanoseconds m_sclFellAt{-1};
  nanoseconds m_sdaChangedAt{-1};
  nanoseconds m_startAt{-1};
  nanoseconds m_stopAt{-1};

  I2cState m_i2c = I2cState::Idle;
  bool m_chipPullsSda = false;
  bool m_sdaFight = false;  // the bridge drives SDA high while something pulls it low
  int m_bit = 0;
  std::uint8_t m_shiftIn = 0;
  std::uint8_t m_shiftOut = 0;
  std::size_t m_sent = 0;        // bytes the chip sent in this read phase
  bool m_bridgeAcked = false;    // the bridge's answer to the byte the chip last sent
  std::vector<std::uint8_t> m_written;  // bytes written in this transaction
  std::uint16_t m_pointer = 0;
  std::string m_trace;

  int m_spiBits = 0;
  std::uint32_t m_spiWord = 0;

  std::vector<std::string> m_i2cTrace;
  std::vector<std::string> m_spiTrace;
};

// The USB bus with emulated bridges on it, in the order they were attached.
class EmulatedUsb final : public ftdi::FtdiUsb {
 public:
  void attach(EmulatedFt2232h& device);
  ftdi::PortStatus list(std::vector<ftdi::DeviceInfo>& devices) override;
  std::unique_ptr<ftdi::FtdiPort> makePort() override;

  // The devices on the bus now (unplugged ones are not).
  std::vector<EmulatedFt2232h*> present() const;

 private:
  std::vector<EmulatedFt2232h*> m_devices;
};

}  // namespace tonvisor
