#include "sim/mpsse_emulator.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "ftdi/i2c_timing.h"

namespace tonvisor {

namespace {

using ftdi::Channel;
using ftdi::PortError;
using ftdi::PortStatus;
using std::chrono::nanoseconds;

// The lines of channel A's low byte.
constexpr std::uint8_t kScl = 0x01;   // ADBUS0: SCL, SCK
constexpr std::uint8_t kSdaOut = 0x02;  // ADBUS1: SDA out, MOSI
constexpr std::uint8_t kSdaIn = 0x04;   // ADBUS2: SDA in
constexpr int kChipSelectPin = 3;       // ADBUS3
// Channel A's UART drives TXD (ADBUS0), RTS# (ADBUS2) and DTR# (ADBUS4).
constexpr std::uint8_t kUartOutputs = 0x15;

// What libftdi says when the device is not there any more.
constexpr const char* kUnavailable = "USB device unavailable";
constexpr const char* kClaimFailed = "unable to claim usb device. Make sure the default FTDI driver is not in use";

std::string hexByte(std::uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

std::string microseconds(nanoseconds time) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f us", static_cast<double>(time.count()) / 1000.0);
  return text;
}

bool bit(std::uint8_t byte, std::uint8_t mask) { return (byte & mask) != 0; }

}  // namespace

// One channel of an emulated bridge, opened as libftdi opens it.
class EmulatedPort final : public ftdi::FtdiPort {
 public:
  explicit EmulatedPort(EmulatedUsb& usb) : m_usb(usb) {}
  ~EmulatedPort() override { close(); }

  PortStatus open(const ftdi::DeviceSelector& selector, Channel channel) override {
    close();
    const std::vector<EmulatedFt2232h*> devices = m_usb.present();
    EmulatedFt2232h* device = nullptr;
    for (EmulatedFt2232h* candidate : devices) {
      const ftdi::DeviceSelector at = candidate->location();
      if (at.bus == selector.bus && at.address == selector.address) device = candidate;
    }
    if (device == nullptr) return PortStatus::Fail(PortError::NotFound, "device not found");
    if (device->m_permissionDenied) {
      return PortStatus::Fail(PortError::PermissionDenied, "inappropriate permissions on device!");
    }
    EmulatedFt2232h::ChannelState& state = device->channel(channel);
    if (state.claimedByPort || state.claimedElsewhere) return PortStatus::Fail(PortError::Busy, kClaimFailed);
    if (state.kernelDriver) {
      // libftdi detaches the kernel's serial driver before it claims the interface.
      if (!device->m_kernelDriverDetachable) return PortStatus::Fail(PortError::Busy, kClaimFailed);
      state.kernelDriver = false;
      ++device->m_stats.kernelDriverDetaches;
    }
    state.claimedByPort = true;
    state.answer.clear();
    state.partial.clear();
    state.flushed = true;
    m_device = device;
    m_channel = channel;
    m_generation = device->m_generation;
    return {};
  }

  void close() override {
    if (m_device == nullptr) return;
    if (alive()) {
      EmulatedFt2232h::ChannelState& state = m_device->channel(m_channel);
      if (state.unansweredWrite) {
        ++m_device->m_stats.roundTrips;
        state.unansweredWrite = false;
      }
      state.claimedByPort = false;
    }
    m_device = nullptr;
  }

  PortStatus reset() override {
    return control([](EmulatedFt2232h&, EmulatedFt2232h::ChannelState& state) {
      state.answer.clear();
      state.partial.clear();
      state.flushed = true;
    });
  }

  PortStatus purge() override { return reset(); }

  PortStatus setLatencyTimer(std::uint8_t milliseconds) override {
    return control([milliseconds](EmulatedFt2232h&, EmulatedFt2232h::ChannelState& state) {
      state.latencyMs = std::max<std::uint8_t>(milliseconds, 1);
    });
  }

  PortStatus setBitmode(std::uint8_t mask, std::uint8_t mode) override {
    const Channel channel = m_channel;
    return control([=](EmulatedFt2232h& device, EmulatedFt2232h::ChannelState& state) {
      state.mode = mode;
      state.mask = mask;
      if (channel == Channel::A) device.resetMpsse();
    });
  }

  PortStatus readPins(std::uint8_t& pins) override {
    const Channel channel = m_channel;
    return control([&pins, channel](EmulatedFt2232h& device, EmulatedFt2232h::ChannelState& state) {
      if (channel == Channel::A) {
        pins = device.lowPinLevels();
      } else {
        // Inputs read high: the FT2232H pulls them up.
        pins = static_cast<std::uint8_t>((device.m_busBLatch & state.mask) | (~state.mask & 0xFF));
      }
    });
  }

  PortStatus write(std::span<const std::uint8_t> bytes) override {
    if (!alive()) return gone("usb bulk write failed");
    EmulatedFt2232h& device = *m_device;
    EmulatedFt2232h::ChannelState& state = device.channel(m_channel);
    device.countWrite(state);
    // The OUT transfer and its handshake take half a round trip; the commands run on the bus
    // from when they arrive.
    const auto arrived = EmulatedFt2232h::Clock::now() + device.m_timing.roundTrip / 2;
    device.waitUntil(arrived);
    const nanoseconds before = device.m_cursor;
    if (state.mode == ftdi::kModeMpsse && m_channel == Channel::A) {
      device.executeMpsse(state, bytes.data(), bytes.size());
    } else if (state.mode == ftdi::kModeBitbang) {
      if (!bytes.empty() && m_channel == Channel::B) device.m_busBLatch = bytes.back();
    } else {
      device.m_stats.uartBytes += bytes.size();
    }
    const nanoseconds spent = device.m_cursor - before;
    device.m_stats.busTime += spent;
    state.busyUntil = std::max(state.busyUntil, arrived) + std::chrono::duration_cast<EmulatedFt2232h::Clock::duration>(spent);
    return {};
  }

  PortStatus read(std::span<std::uint8_t> into, std::size_t& received) override {
    received = 0;
    if (!alive()) return gone("usb bulk read failed");
    EmulatedFt2232h& device = *m_device;
    EmulatedFt2232h::ChannelState& state = device.channel(m_channel);
    ++device.m_stats.bulkReads;
    ++device.m_stats.roundTrips;
    state.unansweredWrite = false;

    // The answer leaves the chip once its commands have run, at once after a send-immediate
    // and otherwise when the latency timer runs out; with nothing to send the read ends at
    // the latency timer too.
    auto ready = std::max(EmulatedFt2232h::Clock::now(), state.busyUntil);
    if (state.answer.empty() || !state.flushed) {
      if (!state.answer.empty()) ++device.m_stats.latencyTimerWaits;
      ready += std::chrono::milliseconds(state.latencyMs);
      state.flushed = true;
    }
    device.waitUntil(ready + device.m_timing.roundTrip / 2);

    if (device.m_loseBytes > 0 && !state.answer.empty()) {
      const std::size_t lost = std::min(device.m_loseBytes, state.answer.size());
      state.answer.erase(state.answer.end() - static_cast<std::ptrdiff_t>(lost), state.answer.end());
      device.m_loseBytes = 0;
    }
    while (received < into.size() && !state.answer.empty()) {
      into[received++] = state.answer.front();
      state.answer.pop_front();
    }
    return {};
  }

 private:
  template <typename Action>
  PortStatus control(Action action) {
    if (!alive()) return gone(kUnavailable);
    EmulatedFt2232h& device = *m_device;
    EmulatedFt2232h::ChannelState& state = device.channel(m_channel);
    if (state.unansweredWrite) {
      ++device.m_stats.roundTrips;
      state.unansweredWrite = false;
    }
    ++device.m_stats.controlTransfers;
    ++device.m_stats.roundTrips;
    device.waitUntil(EmulatedFt2232h::Clock::now() + device.m_timing.roundTrip);
    action(device, state);
    return {};
  }

  bool alive() const {
    return m_device != nullptr && m_device->m_plugged && m_device->m_generation == m_generation;
  }
  PortStatus gone(const char* text) {
    if (m_device != nullptr) ++m_device->m_stats.callsWhileGone;
    return PortStatus::Fail(PortError::Gone, text);
  }

  EmulatedUsb& m_usb;
  EmulatedFt2232h* m_device = nullptr;
  Channel m_channel = Channel::A;
  unsigned m_generation = 0;
};

EmulatedFt2232h::EmulatedFt2232h(ChipModel& chip) : EmulatedFt2232h(chip, Identity{}) {}

EmulatedFt2232h::EmulatedFt2232h(ChipModel& chip, Identity identity) : m_chip(chip), m_identity(std::move(identity)) {
  resetMpsse();
}

EmulatedFt2232h::~EmulatedFt2232h() = default;

void EmulatedFt2232h::unplug() {
  m_plugged = false;
  ++m_generation;
  for (ChannelState* state : {&m_a, &m_b}) {
    state->claimedByPort = false;
    state->unansweredWrite = false;
  }
}

void EmulatedFt2232h::plugIn() {
  if (m_plugged) return;
  m_plugged = true;
  for (ChannelState* state : {&m_a, &m_b}) {
    const bool elsewhere = state->claimedElsewhere;
    const bool driver = state->kernelDriver;
    *state = ChannelState{};
    state->claimedElsewhere = elsewhere;
    state->kernelDriver = driver;
  }
  m_busBLatch = 0;
  resetMpsse();
}

void EmulatedFt2232h::claimElsewhere(Channel which, bool claimed) { channel(which).claimedElsewhere = claimed; }

void EmulatedFt2232h::bindKernelDriver(bool detachable) {
  m_a.kernelDriver = m_b.kernelDriver = true;
  m_kernelDriverDetachable = detachable;
}

void EmulatedFt2232h::holdSdaLow(bool held) {
  m_sdaHeldLow = held;
  updateLines();
  settleLines();
}

EmulatedFt2232h::Stats EmulatedFt2232h::stats() const {
  Stats stats = m_stats;
  // A write no read followed stood alone: it was an exchange of its own.
  stats.roundTrips += (m_a.unansweredWrite ? 1 : 0) + (m_b.unansweredWrite ? 1 : 0);
  return stats;
}

void EmulatedFt2232h::clearStats() {
  m_stats = Stats{};
  m_a.unansweredWrite = m_b.unansweredWrite = false;
}

bool EmulatedFt2232h::claimed(Channel which) const {
  return (which == Channel::A ? m_a : m_b).claimedByPort;
}

std::uint8_t EmulatedFt2232h::channelMode(Channel which) const { return (which == Channel::A ? m_a : m_b).mode; }

void EmulatedFt2232h::clearTraces() {
  m_i2cTrace.clear();
  m_spiTrace.clear();
}

void EmulatedFt2232h::resetMpsse() {
  m_lowValue = m_lowDir = m_highValue = m_highDir = 0;
  m_divideBy5 = true;
  m_threePhase = false;
  m_loopback = false;
  m_divisor = 0xFFFF;  // a backend that forgets the divisor gets the slowest clock there is
  updateLines();
  settleLines();
}

// ---- timing ---------------------------------------------------------------------------

std::chrono::nanoseconds EmulatedFt2232h::bitTime() const {
  const double base = m_divideBy5 ? 12e6 : 60e6;
  const double twoPhaseHz = base / (2.0 * (1.0 + m_divisor));
  const double seconds = (m_threePhase ? 1.5 : 1.0) / twoPhaseHz;
  return nanoseconds(static_cast<std::int64_t>(seconds * 1e9 + 0.5));
}

double EmulatedFt2232h::sclHz() const { return 1e9 / static_cast<double>(bitTime().count()); }

std::uint8_t EmulatedFt2232h::drivenPinsA() const {
  if (m_a.mode == ftdi::kModeMpsse) return m_lowDir;
  if (m_a.mode == ftdi::kModeBitbang) return m_a.mask;
  return kUartOutputs;
}

void EmulatedFt2232h::spendPinCommand() { m_cursor += m_timing.pinCommand; }

void EmulatedFt2232h::waitUntil(Clock::time_point end) const {
  if (!m_timing.sleep) return;
  // Sleeps through most of it, then watches the clock: a plain sleep ends tens of
  // microseconds late, as much as a whole round trip here.
  constexpr auto kMargin = std::chrono::microseconds(200);
  if (end - Clock::now() > kMargin) std::this_thread::sleep_until(end - kMargin);
  while (Clock::now() < end) {
  }
}

void EmulatedFt2232h::countWrite(ChannelState& state) {
  ++m_stats.bulkWrites;
  if (state.unansweredWrite) ++m_stats.roundTrips;
  state.unansweredWrite = true;
}

// ---- the MPSSE ------------------------------------------------------------------------

std::size_t EmulatedFt2232h::commandLength(const std::vector<std::uint8_t>& bytes, std::size_t at) const {
  const std::size_t left = bytes.size() - at;
  const std::uint8_t opcode = bytes[at];
  auto need = [left](std::size_t length) { return left >= length ? length : 0; };
  switch (opcode) {
    case 0x80:
    case 0x82:
    case 0x86:
    case 0x8F:
      return need(3);
    case 0x8E:
      return need(2);
    case 0x81:
    case 0x83:
    case 0x84:
    case 0x85:
    case 0x87:
    case 0x8A:
    case 0x8B:
    case 0x8C:
    case 0x8D:
    case 0x96:
    case 0x97:
      return 1;
    default:
      break;
  }
  const bool shifting = opcode >= 0x10 && opcode < 0x40;
  if (!shifting) return 1;  // a bad command: answered on its own
  const bool writes = bit(opcode, 0x10);
  if (bit(opcode, 0x02)) return need(writes ? 3 : 2);  // bits: opcode, length, data byte
  if (left < 3) return 0;
  const std::size_t count = (bytes[at + 1] | static_cast<std::size_t>(bytes[at + 2]) << 8) + 1;
  return need(3 + (writes ? count : 0));
}

void EmulatedFt2232h::executeMpsse(ChannelState& state, const std::uint8_t* bytes, std::size_t count) {
  state.partial.insert(state.partial.end(), bytes, bytes + count);
  std::size_t at = 0;
  while (at < state.partial.size()) {
    const std::size_t length = commandLength(state.partial, at);
    if (length == 0) break;  // the rest of this command comes with the next write
    runCommand(state, state.partial.data() + at);
    at += length;
  }
  // The batch is over once a line let go has finished rising.
  settleLines();
  state.partial.erase(state.partial.begin(), state.partial.begin() + static_cast<std::ptrdiff_t>(at));
}

void EmulatedFt2232h::answer(ChannelState& state, std::uint8_t byte) {
  state.answer.push_back(byte);
  state.flushed = false;
}

void EmulatedFt2232h::runCommand(ChannelState& state, const std::uint8_t* command) {
  const std::uint8_t opcode = command[0];
  switch (opcode) {
    case 0x80:
      m_lowValue = command[1];
      m_lowDir = command[2];
      updateLines();
      spendPinCommand();
      return;
    case 0x82:
      m_highValue = command[1];
      m_highDir = command[2];
      spendPinCommand();
      return;
    case 0x81:
      updateLines();
      answer(state, lowPinLevels());
      spendPinCommand();
      return;
    case 0x83:
      answer(state, static_cast<std::uint8_t>((m_highValue & m_highDir) | (~m_highDir & 0xFF)));
      spendPinCommand();
      return;
    case 0x84:
      m_loopback = true;
      return;
    case 0x85:
      m_loopback = false;
      return;
    case 0x86:
      m_divisor = static_cast<std::uint16_t>(command[1] | command[2] << 8);
      return;
    case 0x87:
      state.flushed = true;
      return;
    case 0x8A:
      m_divideBy5 = false;
      return;
    case 0x8B:
      m_divideBy5 = true;
      return;
    case 0x8C:
      m_threePhase = true;
      return;
    case 0x8D:
      m_threePhase = false;
      return;
    case 0x96:
    case 0x97:
      return;  // adaptive clocking: no return clock on this board, nothing changes
    case 0x8E:
      clockOnly(static_cast<std::size_t>(command[1]) + 1);
      return;
    case 0x8F:
      clockOnly((static_cast<std::size_t>(command[1] | command[2] << 8) + 1) * 8);
      return;
    default:
      break;
  }
  if (opcode >= 0x10 && opcode < 0x40) {
    const bool bits = bit(opcode, 0x02);
    const bool writes = bit(opcode, 0x10);
    if (bits) {
      shift(state, opcode, static_cast<std::size_t>(command[1]) + 1, true, writes ? command + 2 : nullptr);
    } else {
      const std::size_t count = (command[1] | static_cast<std::size_t>(command[2]) << 8) + 1;
      shift(state, opcode, count, false, writes ? command + 3 : nullptr);
    }
    return;
  }
  // What the chip does with a byte that is no command: says so, and carries on.
  ++m_stats.badCommands;
  answer(state, 0xFA);
  answer(state, opcode);
}

void EmulatedFt2232h::shift(ChannelState& state, std::uint8_t opcode, std::size_t count, bool bits,
                            const std::uint8_t* data) {
  const bool writeOnFalling = bit(opcode, 0x01);
  const bool readOnFalling = bit(opcode, 0x04);
  const bool lsbFirst = bit(opcode, 0x08);
  const bool writes = bit(opcode, 0x10);
  const bool reads = bit(opcode, 0x20);
  const std::size_t total = bits ? count : count * 8;
  const nanoseconds period = bitTime();
  // Three-phase clocking holds the data a third of a period past the falling edge.
  const nanoseconds setup = m_threePhase ? period / 3 : nanoseconds(0);
  const nanoseconds high = m_threePhase ? period / 3 : period / 2;
  const nanoseconds low = period - setup - high;

  std::uint8_t in = 0;
  int inBits = 0;
  for (std::size_t k = 0; k < total; ++k) {
    const std::size_t index = bits ? 0 : k / 8;
    const int position = static_cast<int>(bits ? k : k % 8);
    bool out = false;
    if (writes) out = lsbFirst ? (data[index] >> position) & 1 : (data[index] >> (7 - position)) & 1;
    auto drive = [&] {
      const bool before = bit(m_lowValue, kSdaOut);
      m_lowValue = static_cast<std::uint8_t>(out ? m_lowValue | kSdaOut : m_lowValue & ~kSdaOut);
      // Without three-phase clocking the data changes right at the falling edge that ended
      // the bit before: on I2C (chip select not asserted) that is no hold time at all.
      if (k > 0 && before != out && !m_threePhase && writeOnFalling && bit(m_lowDir, kSdaOut) && m_cs) {
        ++m_stats.holdViolations;
      }
      updateLines();
    };
    auto sample = [&] {
      return m_loopback ? bit(m_lowValue, kSdaOut) : sdaLevel();
    };

    if (writes && writeOnFalling) drive();
    m_cursor += setup;
    m_lowValue |= kScl;
    updateLines();
    if (writes && !writeOnFalling) drive();
    bool sampled = false;
    if (reads && !readOnFalling) sampled = sample();
    m_cursor += high;
    m_lowValue = static_cast<std::uint8_t>(m_lowValue & ~kScl);
    updateLines();
    if (reads && readOnFalling) sampled = sample();
    m_cursor += low;

    if (reads) {
      in = lsbFirst ? static_cast<std::uint8_t>(in >> 1 | (sampled ? 0x80 : 0))
                    : static_cast<std::uint8_t>(in << 1 | (sampled ? 1 : 0));
      if (!bits && ++inBits == 8) {
        answer(state, in);
        in = 0;
        inBits = 0;
      }
    }
  }
  if (reads && bits) answer(state, in);
}

void EmulatedFt2232h::clockOnly(std::size_t bits) {
  const nanoseconds period = bitTime();
  for (std::size_t k = 0; k < bits; ++k) {
    m_lowValue |= kScl;
    updateLines();
    m_cursor += period / 2;
    m_lowValue = static_cast<std::uint8_t>(m_lowValue & ~kScl);
    updateLines();
    m_cursor += period - period / 2;
  }
}

// ---- the board's lines ----------------------------------------------------------------

bool EmulatedFt2232h::pinLevel(int pin) const {
  const auto mask = static_cast<std::uint8_t>(1u << pin);
  return bit(m_lowDir, mask) ? bit(m_lowValue, mask) : true;  // pulled up when not driven
}

bool EmulatedFt2232h::sdaPulledLow() const {
  auto drivesLow = [this](std::uint8_t pin) { return bit(m_lowDir, pin) && !bit(m_lowValue, pin); };
  return drivesLow(kSdaOut) || drivesLow(kSdaIn) || m_chipPullsSda || m_sdaHeldLow;
}

bool EmulatedFt2232h::sdaDrivenHigh() const {
  auto drivesHigh = [this](std::uint8_t pin) { return bit(m_lowDir, pin) && bit(m_lowValue, pin); };
  return drivesHigh(kSdaOut) || drivesHigh(kSdaIn);
}

// The level SDA shows now: low while anything pulls it, high at once when the bridge drives
// it, and otherwise high a rise time after the last pull let go.
bool EmulatedFt2232h::sdaNow() {
  if (sdaPulledLow()) {
    m_sdaRiseDue.reset();
    return false;
  }
  if (m_sda || sdaDrivenHigh() || m_timing.riseTime <= nanoseconds(0)) {
    m_sdaRiseDue.reset();
    return true;
  }
  if (!m_sdaRiseDue) m_sdaRiseDue = m_cursor + m_timing.riseTime;
  return false;
}

// A rise that has finished by now happened at its own time, with SCL as it was then.
void EmulatedFt2232h::settleSda() {
  if (!m_sdaRiseDue || *m_sdaRiseDue > m_cursor) return;
  const nanoseconds at = *m_sdaRiseDue;
  m_sdaRiseDue.reset();
  sdaChanged(true, at);
}

void EmulatedFt2232h::settleLines() {
  if (!m_sdaRiseDue) return;
  m_cursor = std::max(m_cursor, *m_sdaRiseDue);
  updateLines();
}

void EmulatedFt2232h::sdaChanged(bool level, nanoseconds at) {
  m_sda = level;
  m_sdaChangedAt = at;
  if (!m_scl) return;
  if (level) {
    i2cStop(at);
  } else {
    i2cStart(m_i2c != I2cState::Idle, at);
  }
}

std::uint8_t EmulatedFt2232h::lowPinLevels() const {
  std::uint8_t levels = 0;
  for (int pin = 0; pin < 8; ++pin) {
    const bool high = (pin == 1 || pin == 2) ? sdaLevel() : pinLevel(pin);
    if (high) levels = static_cast<std::uint8_t>(levels | 1u << pin);
  }
  return levels;
}

void EmulatedFt2232h::updateLines() {
  settleSda();
  const bool scl = pinLevel(0);
  const bool cs = pinLevel(kChipSelectPin);

  if (cs != m_cs) {
    m_cs = cs;
    if (!cs) {
      m_spiBits = 0;
      m_spiWord = 0;
    } else if (m_spiBits == 32) {
      const auto address = static_cast<std::uint16_t>(m_spiWord >> 16);
      const auto value = static_cast<std::uint16_t>(m_spiWord & 0xFFFF);
      m_chip.write(address, value);
      ++m_stats.spiFrames;
      m_spiTrace.push_back(hexByte(static_cast<std::uint8_t>(address >> 8)) + " " +
                           hexByte(static_cast<std::uint8_t>(address)) + " " +
                           hexByte(static_cast<std::uint8_t>(value >> 8)) + " " + hexByte(static_cast<std::uint8_t>(value)));
    } else if (m_spiBits > 0) {
      ++m_stats.spiBadFrames;
      m_spiTrace.push_back("bad frame of " + std::to_string(m_spiBits) + " bits");
    }
  }
  // The clock edge first; the chip may answer it on SDA, which while SCL is low is no
  // condition.
  if (scl != m_scl) {
    m_scl = scl;
    if (scl) {
      sclRose(m_sda);
    } else {
      sclFell();
    }
  }
  const bool sda = sdaNow();
  if (sda != m_sda) sdaChanged(sda, m_cursor);
  // Push-pull high against a chip (or a fault) pulling low, for however short a time: the
  // level read is anyone's guess on real hardware, and both drivers suffer.
  const bool fighting = sdaDrivenHigh() && (m_chipPullsSda || m_sdaHeldLow);
  if (fighting && !m_sdaFight) ++m_stats.contention;
  m_sdaFight = fighting;
}

void EmulatedFt2232h::checkTime(const char* name, nanoseconds seen, nanoseconds least, nanoseconds& shortest) {
  shortest = std::min(shortest, seen);
  if (seen >= least) return;
  ++m_stats.timingViolations;
  if (m_stats.firstTimingViolation.empty()) {
    m_stats.firstTimingViolation = std::string(name) + " " + microseconds(seen) + ", at least " + microseconds(least);
  }
}

void EmulatedFt2232h::sclRose(bool sda) {
  if (i2cBusy()) {
    const ftdi::I2cBusTimes& mode = ftdi::I2cModeFor(sclHz());
    checkTime("tLOW", m_cursor - m_sclFellAt, mode.low, m_stats.shortest.low);
    if (m_sdaChangedAt > m_sclFellAt) {
      checkTime("tSU;DAT", m_cursor - m_sdaChangedAt, mode.dataSetup, m_stats.shortest.dataSetup);
    }
    m_stats.shortest.period = std::min(m_stats.shortest.period, m_cursor - m_sclRoseAt);
  }
  m_sclRoseAt = m_cursor;
  if (!m_cs) {
    m_spiWord = m_spiWord << 1 | (sda ? 1u : 0u);
    ++m_spiBits;
  }
  switch (m_i2c) {
    case I2cState::Address:
    case I2cState::Receive:
      m_shiftIn = static_cast<std::uint8_t>(m_shiftIn << 1 | (sda ? 1 : 0));
      ++m_bit;
      break;
    case I2cState::TransmitAck:
      m_bridgeAcked = !sda;  // low asks for another byte
      break;
    default:
      break;
  }
}

void EmulatedFt2232h::sclFell() {
  const ftdi::I2cBusTimes& mode = ftdi::I2cModeFor(sclHz());
  if (m_startAt.count() >= 0) {
    checkTime("tHD;STA", m_cursor - m_startAt, mode.startHold, m_stats.shortest.startHold);
    m_startAt = nanoseconds(-1);
  } else if (i2cBusy()) {
    checkTime("tHIGH", m_cursor - m_sclRoseAt, mode.high, m_stats.shortest.high);
  }
  m_sclFellAt = m_cursor;
  auto nextReadByte = [this](std::size_t index) {
    const std::uint16_t value = m_chip.read(m_pointer);
    if (index % 2 == 1) m_pointer = static_cast<std::uint16_t>(m_pointer + 2);
    return static_cast<std::uint8_t>(index % 2 == 0 ? value >> 8 : value & 0xFF);
  };
  switch (m_i2c) {
    case I2cState::Address:
      if (m_bit < 8) break;
      if ((m_shiftIn >> 1) == m_i2cAddress) {
        m_chipPullsSda = true;  // acknowledge
        m_i2c = I2cState::AddressAck;
      } else {
        traceByte(m_shiftIn, false);
        m_i2c = I2cState::Ignore;  // not ours: quiet until the next START
      }
      break;
    case I2cState::AddressAck: {
      m_chipPullsSda = false;
      traceByte(m_shiftIn, true);
      const bool read = (m_shiftIn & 1) != 0;
      m_bit = 0;
      m_shiftIn = 0;
      if (read) {
        m_sent = 0;
        m_shiftOut = nextReadByte(m_sent);
        m_chipPullsSda = (m_shiftOut & 0x80) == 0;
        m_i2c = I2cState::Transmit;
      } else {
        m_i2c = I2cState::Receive;
      }
      break;
    }
    case I2cState::Receive:
      if (m_bit < 8) break;
      m_written.push_back(m_shiftIn);
      if (static_cast<int>(m_written.size()) == m_refusedByte) {
        traceByte(m_shiftIn, false);
        m_i2c = I2cState::Ignore;
        break;
      }
      m_chipPullsSda = true;
      m_i2c = I2cState::ReceiveAck;
      break;
    case I2cState::ReceiveAck: {
      m_chipPullsSda = false;
      traceByte(m_shiftIn, true);
      const std::size_t n = m_written.size();
      if (n == 2) m_pointer = static_cast<std::uint16_t>(m_written[0] << 8 | m_written[1]);
      if (n >= 4 && n % 2 == 0) {
        m_chip.write(m_pointer, static_cast<std::uint16_t>(m_written[n - 2] << 8 | m_written[n - 1]));
        m_pointer = static_cast<std::uint16_t>(m_pointer + 2);
      }
      m_bit = 0;
      m_shiftIn = 0;
      m_i2c = I2cState::Receive;
      break;
    }
    case I2cState::Transmit:
      if (++m_bit < 8) {
        m_chipPullsSda = ((m_shiftOut >> (7 - m_bit)) & 1) == 0;
      } else {
        m_chipPullsSda = false;  // the bridge answers the byte
        m_i2c = I2cState::TransmitAck;
      }
      break;
    case I2cState::TransmitAck:
      traceByte(m_shiftOut, m_bridgeAcked);
      if (m_bridgeAcked) {
        m_shiftOut = nextReadByte(++m_sent);
        m_bit = 0;
        m_chipPullsSda = (m_shiftOut & 0x80) == 0;
        m_i2c = I2cState::Transmit;
      } else {
        m_i2c = I2cState::Ignore;  // the read is over; a STOP or repeated START follows
      }
      break;
    default:
      break;
  }
}

void EmulatedFt2232h::i2cStart(bool repeated, nanoseconds at) {
  ++m_stats.i2cStarts;
  m_stats.i2cSclHz = sclHz();
  const ftdi::I2cBusTimes& mode = ftdi::I2cModeFor(sclHz());
  if (repeated) {
    checkTime("tSU;STA", at - m_sclRoseAt, mode.startSetup, m_stats.shortest.startSetup);
  } else if (m_stopAt.count() >= 0) {
    checkTime("tBUF", at - m_stopAt, mode.busFree, m_stats.shortest.busFree);
  }
  m_startAt = at;
  if (repeated) {
    m_trace += " Sr";
  } else {
    if (!m_trace.empty()) m_i2cTrace.push_back(m_trace);  // one that never saw its STOP
    m_trace.assign(1, 'S');  // not = "S": GCC 12 at -O3 warns of an overlapping copy there
    m_written.clear();
  }
  m_i2c = I2cState::Address;
  m_bit = 0;
  m_shiftIn = 0;
  m_chipPullsSda = false;
}

void EmulatedFt2232h::i2cStop(nanoseconds at) {
  // SDA rising on an idle bus (the lines set up for another use) is nothing to the chip.
  if (m_i2c == I2cState::Idle && m_trace.empty()) return;
  ++m_stats.i2cStops;
  checkTime("tSU;STO", at - m_sclRoseAt, ftdi::I2cModeFor(sclHz()).stopSetup, m_stats.shortest.stopSetup);
  m_stopAt = at;
  m_chipPullsSda = false;
  m_i2c = I2cState::Idle;
  if (m_trace.empty()) return;
  m_i2cTrace.push_back(m_trace + " P");
  m_trace.clear();
}

void EmulatedFt2232h::traceByte(std::uint8_t byte, bool acknowledged) {
  m_trace += ' ';
  m_trace += hexByte(byte);
  m_trace += acknowledged ? '+' : '-';
}

// ---- the bus --------------------------------------------------------------------------

void EmulatedUsb::attach(EmulatedFt2232h& device) {
  m_devices.push_back(&device);
  device.m_usbSlot = static_cast<unsigned>(m_devices.size());
}

std::vector<EmulatedFt2232h*> EmulatedUsb::present() const {
  std::vector<EmulatedFt2232h*> devices;
  for (EmulatedFt2232h* device : m_devices) {
    if (device->pluggedIn()) devices.push_back(device);
  }
  return devices;
}

ftdi::PortStatus EmulatedUsb::list(std::vector<ftdi::DeviceInfo>& devices) {
  devices.clear();
  int index = 0;
  for (EmulatedFt2232h* device : present()) {
    ftdi::DeviceInfo info;
    info.index = index++;
    info.bus = device->location().bus;
    info.address = device->location().address;
    if (device->m_permissionDenied) {
      info.problem = "no permission to open it";
    } else {
      info.serial = device->identity().serial;
      info.description = device->identity().description;
      info.manufacturer = device->identity().manufacturer;
    }
    devices.push_back(std::move(info));
  }
  return {};
}

std::unique_ptr<ftdi::FtdiPort> EmulatedUsb::makePort() { return std::make_unique<EmulatedPort>(*this); }

}  // namespace tonvisor
