#include "ftdi/ftdi_bridge.h"

#include <chrono>

#include "ftdi/mpsse_buffer.h"
#include "link/typed_text.h"

namespace tonvisor {

namespace {

using ftdi::Channel;
using ftdi::DeviceInfo;
using ftdi::DeviceSelector;
using ftdi::FtdiPort;
using ftdi::MpsseBuffer;
using ftdi::PortError;
using ftdi::PortStatus;

constexpr std::uint8_t kLatencyTimerMs = 2;
// An answer that has not come within this (plus the bus time) is not coming.
constexpr std::chrono::milliseconds kAnswerTimeout{250};
// Reads that bring nothing, each about one latency-timer period on a real bridge.
constexpr int kEmptyReadsAllowed = 100;

BridgeResult fromPort(const PortStatus& status) {
  switch (status.error) {
    case PortError::None:
      return {};
    case PortError::NotFound:
      return BridgeResult::Failure(bridge::kDeviceNotFound, status.text);
    case PortError::PermissionDenied:
      return BridgeResult::Failure(bridge::kPermissionDenied, status.text);
    case PortError::Busy:
      return BridgeResult::Failure(bridge::kDeviceBusy, status.text);
    case PortError::Gone:
      return BridgeResult::Failure(bridge::kDisconnected, status.text);
    case PortError::Io:
      break;
  }
  return BridgeResult::Failure(bridge::kUsbError, status.text);
}

std::string hex2(std::uint8_t byte) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[byte >> 4], digits[byte & 0xF]};
}

}  // namespace

std::string DescribeFtdiDevice(const DeviceInfo& device) {
  // Appended piece by piece: GCC 12 at -O3 takes "literal" + string for an overlapping copy.
  std::string text = "FT2232H ";
  if (device.serial.empty()) {
    text += '#';
    text += std::to_string(device.index);
  } else {
    text += device.serial;
  }
  if (!device.description.empty()) {
    text += " (";
    text += device.description;
    text += ')';
  }
  return text;
}

struct FtdiBridge::Impl {
  enum class Use { None, I2c, Spi };

  Impl(ftdi::FtdiUsb& bus, std::optional<std::string> device)
      : usb(bus), deviceText(std::move(device)), i2cMaster(*this), spiMaster(*this), pins(*this) {}
  ~Impl() {
    closeA();
    releaseB();
  }

  // ---- finding and opening the device ----

  // The bridge the user asked for, among those plugged in now.
  BridgeResult choose(DeviceSelector& selector, std::string& name) {
    std::vector<DeviceInfo> devices;
    if (const PortStatus listed = usb.list(devices); !listed.ok()) return fromPort(listed);
    const DeviceInfo* chosen = nullptr;
    if (!deviceText) {
      if (!devices.empty()) chosen = &devices.front();
    } else {
      for (const DeviceInfo& device : devices) {
        if (!device.serial.empty() && device.serial == *deviceText) chosen = &device;
      }
      const NumberReading<int> index = ReadDecimalInt(*deviceText);
      if (chosen == nullptr && index.value && *index.value >= 0 &&
          static_cast<std::size_t>(*index.value) < devices.size()) {
        chosen = &devices[static_cast<std::size_t>(*index.value)];
      }
    }
    if (chosen == nullptr) {
      if (!deviceText || devices.empty()) return BridgeResult::Failure(bridge::kDeviceNotFound);
      std::string present;
      for (const DeviceInfo& device : devices) present += (present.empty() ? "" : ", ") + DescribeFtdiDevice(device);
      return BridgeResult::Failure(bridge::kNoSuchDevice, "asked for \"" + *deviceText + "\"; plugged in: " + present);
    }
    // The listed device itself, by where it sits on the bus: opening by serial would make
    // libftdi read the serial of every bridge before it, and stop at one that has none.
    selector = DeviceSelector{chosen->bus, chosen->address};
    name = DescribeFtdiDevice(*chosen);
    return {};
  }

  // Opens channel A and puts it in MPSSE mode with the given set-up.
  BridgeResult openA(Use purpose, const MpsseBuffer& setUp) {
    closeA();
    DeviceSelector selector;
    std::string name;
    if (BridgeResult chosen = choose(selector, name); !chosen.ok()) return chosen;
    std::unique_ptr<FtdiPort> port = usb.makePort();
    if (const PortStatus opened = port->open(selector, Channel::A); !opened.ok()) return fromPort(opened);

    BridgeResult result = prepareMpsse(*port);
    if (result.ok()) result = fromPort(port->write(setUp.bytes()));
    if (!result.ok()) {
      port->close();
      return result;
    }
    portA = std::move(port);
    use = purpose;
    aGone = false;
    selectorA = selector;
    nameA = name;
    return {};
  }

  // Reset, the shortest latency timer, the bit mode from scratch to MPSSE, and a check that
  // the MPSSE answers in step: a bad command must come back as 0xFA and itself.
  BridgeResult prepareMpsse(FtdiPort& port) {
    PortStatus status = port.reset();
    if (status.ok()) status = port.setLatencyTimer(kLatencyTimerMs);
    if (status.ok()) status = port.setBitmode(0, ftdi::kModeReset);
    if (status.ok()) status = port.purge();
    if (status.ok()) status = port.setBitmode(0, ftdi::kModeMpsse);
    if (!status.ok()) return fromPort(status);
    const std::uint8_t probe[] = {ftdi::mpsse::kBadCommand, ftdi::mpsse::kSendImmediate};
    if (status = port.write(probe); !status.ok()) return fromPort(status);
    std::vector<std::uint8_t> answer(2);
    if (BridgeResult read = readAnswer(port, answer); !read.ok()) return read;
    if (answer[0] != ftdi::mpsse::kBadCommandAnswer || answer[1] != ftdi::mpsse::kBadCommand) {
      return BridgeResult::Failure(bridge::kUsbError, "the MPSSE answered " + hex2(answer[0]) + " " + hex2(answer[1]) +
                                                          " instead of FA AA");
    }
    return {};
  }

  // Exactly answer.size() bytes, or why not.
  BridgeResult readAnswer(FtdiPort& port, std::span<std::uint8_t> answer) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    std::size_t got = 0;
    int empty = 0;
    while (got < answer.size()) {
      std::size_t received = 0;
      if (const PortStatus read = port.read(answer.subspan(got), received); !read.ok()) return fromPort(read);
      got += received;
      if (received > 0) continue;
      if (++empty > kEmptyReadsAllowed || std::chrono::steady_clock::now() > deadline) {
        // What is left of the answer may still come: throw it away, so the next one starts clean.
        port.purge();
        return BridgeResult::Failure(bridge::kUsbError, "the bridge answered " + std::to_string(got) + " of " +
                                                            std::to_string(answer.size()) + " bytes");
      }
    }
    return {};
  }

  // One batch of commands out and its answer back; a device that went away is let go.
  BridgeResult exchange(const MpsseBuffer& commands, std::span<std::uint8_t> answer) {
    BridgeResult result = fromPort(portA->write(commands.bytes()));
    if (result.ok() && !answer.empty()) result = readAnswer(*portA, answer);
    if (result.code == bridge::kDisconnected) dropA();
    return result;
  }

  // Channel A can be used for `purpose` now; why not otherwise.
  BridgeResult readyFor(Use purpose) const {
    if (use != purpose) return BridgeResult::Failure(bridge::kInvalidHandle);
    if (aGone) return BridgeResult::Failure(bridge::kDisconnected, "it went away earlier; press Connect");
    return {};
  }

  void closeA() {
    if (portA) {
      // The pins are let go and the channel stays in MPSSE mode: resetting the bit mode would
      // hand the pins back to the UART, which drives TXD (SCL) and RTS# (tied to SDA).
      MpsseBuffer release;
      release.releasePins();
      portA->write(release.bytes());
      portA->close();
      portA.reset();
    }
    use = Use::None;
    aGone = false;
    nameA.clear();
    releaseB();
  }

  // The device left under us: nothing more goes to it until the channel is opened again.
  void dropA() {
    if (portA) portA->close();
    portA.reset();
    aGone = true;
    releaseB();
  }

  void releaseB() {
    if (portB) portB->close();
    portB.reset();
    bMask.reset();
    bOpen = false;
  }

  // ---- the three masters ----

  struct I2c final : I2cMaster {
    explicit I2c(Impl& owner) : impl(owner) {}
    Impl& impl;
    ftdi::I2cClocking clocking;

    BridgeResult open(std::uint32_t clockHz) override {
      const std::optional<ftdi::I2cClocking> planned = ftdi::PlanI2cClocking(clockHz);
      if (!planned) return BridgeResult::Failure(bridge::kInvalidArguments);
      MpsseBuffer setUp;
      setUp.setUpI2c(planned->divisor);
      clocking = *planned;
      return impl.openA(Use::I2c, setUp);
    }
    void close() override {
      if (impl.use == Use::I2c) impl.closeA();
    }

    BridgeResult transfer(std::uint8_t device, std::span<const std::uint8_t> write,
                          std::span<std::uint8_t> read) override {
      if (BridgeResult ready = impl.readyFor(Use::I2c); !ready.ok()) return ready;
      if (device > 0x7F || (write.empty() && read.empty())) return BridgeResult::Failure(bridge::kInvalidArguments);

      MpsseBuffer commands;
      commands.i2cIdleAndCheck(clocking);
      commands.i2cStart(clocking);
      if (!write.empty()) {
        commands.i2cWriteByte(static_cast<std::uint8_t>(device << 1));
        for (const std::uint8_t byte : write) commands.i2cWriteByte(byte);
        if (!read.empty()) commands.i2cRepeatedStart(clocking);
      }
      if (!read.empty()) {
        commands.i2cWriteByte(static_cast<std::uint8_t>(device << 1 | 1));
        for (std::size_t i = 0; i < read.size(); ++i) commands.i2cReadByte(i + 1 < read.size());
      }
      commands.i2cStop(clocking);
      commands.sendImmediate();

      std::vector<std::uint8_t> answer(commands.answerBytes());
      if (BridgeResult exchanged = impl.exchange(commands, answer); !exchanged.ok()) return exchanged;

      // Before the START both lines must have been high: SDA or SCL held low by something
      // on the board makes every acknowledge read as given.
      const std::uint8_t idle = answer[0];
      if ((idle & ftdi::kSdaInPin) == 0 || (idle & ftdi::kSclPin) == 0) {
        return BridgeResult::Failure(bridge::kBusError, std::string((idle & ftdi::kSdaInPin) == 0 ? "SDA" : "SCL") +
                                                            " was low before the START");
      }
      // The acknowledges, in the order the bytes went out; the data follows them.
      const std::size_t acknowledges = (write.empty() ? 0 : 1 + write.size()) + (read.empty() ? 0 : 1);
      for (std::size_t k = 0; k < acknowledges; ++k) {
        if ((answer[1 + k] & 0x01) != 0) return BridgeResult::NoAcknowledge(static_cast<int>(k));
      }
      for (std::size_t i = 0; i < read.size(); ++i) read[i] = answer[1 + acknowledges + i];
      return {};
    }
  };

  struct Spi final : SpiMaster {
    explicit Spi(Impl& owner) : impl(owner) {}
    Impl& impl;

    BridgeResult open(std::uint32_t clockHz, int mode) override {
      const std::optional<std::uint16_t> divisor = ftdi::ClockDivisor(clockHz, false);
      if (!divisor || mode != 0) return BridgeResult::Failure(bridge::kInvalidArguments);
      MpsseBuffer setUp;
      setUp.setUpSpi(*divisor);
      return impl.openA(Use::Spi, setUp);
    }
    void close() override {
      if (impl.use == Use::Spi) impl.closeA();
    }
    // Nothing comes back from a write-only frame: one USB write, no waiting for an answer.
    BridgeResult transfer(std::span<const std::uint8_t> bytes) override {
      if (BridgeResult ready = impl.readyFor(Use::Spi); !ready.ok()) return ready;
      if (bytes.empty() || bytes.size() > 65536) return BridgeResult::Failure(bridge::kInvalidArguments);
      MpsseBuffer commands;
      commands.spiFrame(bytes);
      return impl.exchange(commands, {});
    }
  };

  struct Pins final : PinPort {
    explicit Pins(Impl& owner) : impl(owner) {}
    Impl& impl;

    BridgeResult open(std::uint8_t outputMask) override {
      if (!impl.portB) {
        DeviceSelector selector = impl.selectorA;
        std::string name;
        // Without channel A the user's choice decides; with it, the same device.
        if (!impl.portA) {
          if (BridgeResult chosen = impl.choose(selector, name); !chosen.ok()) return chosen;
        }
        std::unique_ptr<FtdiPort> port = impl.usb.makePort();
        if (const PortStatus opened = port->open(selector, Channel::B); !opened.ok()) return fromPort(opened);
        impl.portB = std::move(port);
      }
      if (impl.bMask != outputMask) {
        const PortStatus mode = impl.portB->setBitmode(outputMask, ftdi::kModeBitbang);
        if (!mode.ok()) {
          const bool gone = mode.error == PortError::Gone;
          impl.releaseB();
          return gone ? fromPort(mode) : BridgeResult::Failure(bridge::kPinModeFailed, mode.text);
        }
        impl.bMask = outputMask;
      }
      impl.bOpen = true;
      return {};
    }
    BridgeResult read(std::uint8_t& pins) override {
      if (!impl.bOpen) return BridgeResult::Failure(bridge::kInvalidHandle);
      return settle(impl.portB->readPins(pins));
    }
    BridgeResult write(std::uint8_t pins) override {
      if (!impl.bOpen) return BridgeResult::Failure(bridge::kInvalidHandle);
      const std::uint8_t byte[] = {pins};
      return settle(impl.portB->write(byte));
    }
    // The claim stays: see the class comment.
    void close() override { impl.bOpen = false; }

    BridgeResult settle(const PortStatus& status) {
      if (status.error == PortError::Gone) impl.releaseB();
      return fromPort(status);
    }
  };

  ftdi::FtdiUsb& usb;
  std::optional<std::string> deviceText;

  std::unique_ptr<FtdiPort> portA;
  Use use = Use::None;
  bool aGone = false;
  DeviceSelector selectorA;
  std::string nameA;

  std::unique_ptr<FtdiPort> portB;
  std::optional<std::uint8_t> bMask;  // the pin mode set on channel B since it was opened
  bool bOpen = false;

  I2c i2cMaster;
  Spi spiMaster;
  Pins pins;
};

FtdiBridge::FtdiBridge(ftdi::FtdiUsb& usb, std::optional<std::string> device)
    : m_impl(std::make_unique<Impl>(usb, std::move(device))) {}
FtdiBridge::~FtdiBridge() = default;
I2cMaster& FtdiBridge::i2c() { return m_impl->i2cMaster; }
SpiMaster& FtdiBridge::spi() { return m_impl->spiMaster; }
PinPort& FtdiBridge::busB() { return m_impl->pins; }
std::string FtdiBridge::deviceName() const { return m_impl->portA ? m_impl->nameA : std::string(); }

}  // namespace tonvisor
