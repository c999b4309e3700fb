// USB bridge figures: register accesses through the FTDI backend (the program's own link,
// transports and MPSSE commands) into an emulated FT2232H that takes as long as a real one:
// one USB round trip of 125 us per exchange the host waits for, plus the bus time of the
// commands at the chosen clock. Printed per kind of access:
//   - accesses per second, and the ratio to the limit that bus time plus one round trip
//     allows (1.00 would mean the backend adds nothing);
//   - USB round trips per access;
//   - the bus time per access as modelled (clocked bits, and 150 ns per pin command), next to
//     the usual estimate: one SCL period per bit, 9 per byte, 1 per START and STOP, at the SCL
//     rate the backend clocks at.
// A run without the latency model gives what the backend and the emulator cost in CPU, and
// from it the ratio an idle machine reaches (the clocked ratio falls when other programs hold
// the cores: the latency model waits on the clock and loses its core). Last,
// the I2C bus times of a write and a read as the emulator measured them (the shortest of
// each), at both clocks, with pin commands of the shortest length the backend counts on and
// of the usual one, and SDA rising as slowly as the mode allows.
//
//   usb_bench [--accesses N]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "ftdi/ftdi_bridge.h"
#include "ftdi/i2c_timing.h"
#include "ftdi/mpsse_buffer.h"
#include "link/connect.h"
#include "link/device_link.h"
#include "sim/chip_model.h"
#include "sim/mpsse_emulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using tonvisor::AccessResult;
using tonvisor::ChipModel;
using tonvisor::ConnectRequest;
using tonvisor::DeviceLink;
using tonvisor::EmulatedFt2232h;
using tonvisor::EmulatedUsb;
using tonvisor::FtdiBridge;
using tonvisor::Message;
using tonvisor::Messenger;
using tonvisor::Owner;

constexpr double kRoundTripUs = 125.0;

class CountingMessenger final : public Messenger {
 public:
  void show(const Message& message) override {
    if (m_count++ == 0) std::fprintf(stderr, "unexpected message: %s\n", message.text.c_str());
  }
  using Messenger::show;
  int count() const { return m_count; }

 private:
  int m_count = 0;
};

enum class Kind { I2cWrite, I2cRead, SpiWrite };

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Run {
  const char* name;
  Kind kind;
  std::uint32_t i2cClockHz;
  int idealBits;  // clock periods of the transfer: 9 per I2C byte, 1 per START and STOP; 32 for SPI
};

// One kind of access, N times; false when any of them failed.
bool Measure(const Run& run, int accesses, bool latency) {
  ChipModel chip;
  EmulatedFt2232h device{chip};
  EmulatedUsb usb;
  usb.attach(device);
  FtdiBridge bridge{usb, std::nullopt};
  CountingMessenger messages;
  DeviceLink link{bridge, messages};
  link.settings().connectionType = run.kind == Kind::SpiWrite ? "SPI" : "I2C";
  link.settings().i2cClockHz = run.i2cClockHz;
  link.settings().logRegisterWrites = 0;
  ConnectRequest request;
  request.i2cAddress = 0x0A;
  if (!tonvisor::Connect(link, request, Owner::none())) return false;
  if (run.kind == Kind::SpiWrite) link.Write(0x0024, 0);  // bus B's first open is not what is measured

  EmulatedFt2232h::Timing timing;
  timing.sleep = latency;
  device.setTiming(timing);
  device.clearStats();
  int failed = 0;
  const auto start = Clock::now();
  const double cpuStart = ThreadCpuSeconds();
  for (int i = 0; i < accesses; ++i) {
    if (link.writeLog().full()) link.writeLog().clear();
    const AccessResult access =
        run.kind == Kind::I2cRead ? link.Read(0x0024) : link.Write(0x0024, static_cast<std::uint16_t>(i));
    if (!access.ok()) ++failed;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpuSeconds = ThreadCpuSeconds() - cpuStart;
  const EmulatedFt2232h::Stats stats = device.stats();

  const double perSecond = accesses / seconds;
  const double roundTrips = static_cast<double>(stats.roundTrips) / accesses;
  const double busUs = std::chrono::duration<double, std::micro>(stats.busTime).count() / accesses;
  const double sclHz = device.sclHz();
  const double idealUs = run.idealBits * 1e6 / sclHz;
  if (latency) {
    const double limit = 1e6 / (busUs + kRoundTripUs);
    std::printf("  %-20s %6.0f /s  limit %6.0f /s  ratio %.3f  round trips %.2f  bus %5.1f us (%d periods: %5.1f us)\n",
                run.name, perSecond, limit, perSecond / limit, roundTrips, busUs, run.idealBits, idealUs);
  } else {
    // CPU time, unlike the clock, does not grow while other programs have the cores: for an
    // exchange the host waits for, bus time plus round trip plus it is what an idle machine
    // takes with the latency model.
    const double cpuUs = cpuSeconds * 1e6 / accesses;
    std::printf("  %-20s %5.1f us per access (%5.1f us CPU", run.name, seconds * 1e6 / accesses, cpuUs);
    if (run.kind != Kind::SpiWrite) {
      std::printf(": ratio %.3f on an idle machine", (busUs + kRoundTripUs) / (busUs + kRoundTripUs + cpuUs));
    }
    std::printf(")\n");
  }
  const bool clean = stats.contention == 0 && stats.holdViolations == 0 && stats.timingViolations == 0 &&
                     stats.latencyTimerWaits == 0;
  if (!clean) std::fprintf(stderr, "  %s: the bus saw faults\n", run.name);
  return failed == 0 && messages.count() == 0 && clean;
}

double Micro(std::chrono::nanoseconds time) { return static_cast<double>(time.count()) / 1000.0; }

// One write and one read at a clock rate; the shortest of each bus time, against the mode's.
bool MeasureBusTimes(std::uint32_t clockHz, std::chrono::nanoseconds pinCommand) {
  ChipModel chip;
  EmulatedFt2232h device{chip};
  EmulatedUsb usb;
  usb.attach(device);
  const tonvisor::ftdi::I2cBusTimes& mode = tonvisor::ftdi::I2cModeFor(clockHz);
  device.setTiming({.pinCommand = pinCommand, .riseTime = mode.riseMax});
  FtdiBridge bridge{usb, std::nullopt};
  CountingMessenger messages;
  DeviceLink link{bridge, messages};
  link.settings().i2cClockHz = clockHz;
  ConnectRequest request;
  request.i2cAddress = 0x0A;
  if (!tonvisor::Connect(link, request, Owner::none())) return false;
  device.clearStats();
  const bool worked = link.Write(0x0024, 0x1234).ok() && link.Read(0x0024).ok();
  const EmulatedFt2232h::Stats stats = device.stats();
  const auto& seen = stats.shortest;
  std::printf("  %3u kHz mode, pin command %3lld ns, rise %4lld ns: SCL %.1f kHz clocked, %.1f kHz at most\n",
              clockHz / 1000, static_cast<long long>(pinCommand.count()), static_cast<long long>(mode.riseMax.count()),
              device.sclHz() / 1000.0, 1e6 / static_cast<double>(seen.period.count()));
  std::printf("    tHIGH %.2f (%.2f)  tLOW %.2f (%.2f)  tHD;STA %.2f (%.2f)  tSU;STA %.2f (%.2f)\n", Micro(seen.high),
              Micro(mode.high), Micro(seen.low), Micro(mode.low), Micro(seen.startHold), Micro(mode.startHold),
              Micro(seen.startSetup), Micro(mode.startSetup));
  std::printf("    tSU;STO %.2f (%.2f)  tBUF %.2f (%.2f)  tSU;DAT %.2f (%.2f) us; violations %llu\n",
              Micro(seen.stopSetup), Micro(mode.stopSetup), Micro(seen.busFree), Micro(mode.busFree),
              Micro(seen.dataSetup), Micro(mode.dataSetup), static_cast<unsigned long long>(stats.timingViolations));
  return worked && stats.timingViolations == 0 && messages.count() == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int accesses = 2000;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--accesses") == 0 && i + 1 < argc) {
      accesses = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: usb_bench [--accesses N]\n");
      return 2;
    }
  }
  if (accesses <= 0) accesses = 1;

  // Write: START, address, register high and low, value high and low, STOP. Read: START,
  // address, register high and low, repeated START, address, two data bytes, STOP.
  const Run runs[] = {
      {"I2C write, 100 kHz", Kind::I2cWrite, 100000, 5 * 9 + 2},
      {"I2C read, 100 kHz", Kind::I2cRead, 100000, 6 * 9 + 3},
      {"I2C write, 400 kHz", Kind::I2cWrite, 400000, 5 * 9 + 2},
      {"I2C read, 400 kHz", Kind::I2cRead, 400000, 6 * 9 + 3},
      {"SPI write, 400 kHz", Kind::SpiWrite, 100000, 32},
  };
  bool ok = true;
  std::printf("FTDI backend on the emulated FT2232H, %d accesses each, round trip %.0f us:\n", accesses,
              kRoundTripUs);
  for (const Run& run : runs) ok = Measure(run, accesses, true) && ok;
  std::printf("Without the latency model:\n");
  for (const Run& run : runs) ok = Measure(run, accesses * 10, false) && ok;
  std::printf("I2C bus times, the shortest seen in a write and a read (the mode's minimum), us:\n");
  for (const std::uint32_t clockHz : {tonvisor::kI2cStandardClockHz, tonvisor::kI2cFastClockHz}) {
    for (const auto command : {tonvisor::ftdi::kShortestPinCommand, std::chrono::nanoseconds(150)}) {
      ok = MeasureBusTimes(clockHz, command) && ok;
    }
  }
  return ok ? 0 : 1;
}
