// Read Chip figures: every readable register read into the link's cache, as Connect and the
// Read Chip button do it.
//  (a) over Ethernet with the board's 20 ms pause, against accesses x 20 ms (1.00 would mean
//      the protocol and the cache add nothing);
//  (b) on the simulated bridge, in-process: what keeping the cache costs a Read Chip in
//      processor time, with the cache against a link whose device described no registers,
//      the two runs interleaved so that a busy machine slows both alike;
//  (c) through the FTDI backend into the emulated FT2232H with its latency model, against the
//      limit of bus time plus one USB round trip per access (1.00 would mean the backend adds
//      nothing).
//
//   read_chip_bench [--runs N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/codec_operations.h"
#include "ftdi/ftdi_bridge.h"
#include "link/connect.h"
#include "link/device_link.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "sim/mpsse_emulator.h"
#include "sim/simulated_bridge.h"
#include "tools/snapshot.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace tonvisor;

constexpr double kPauseMs = 20.0;
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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Connects (which reads nothing here: the bench reads), then reads the chip; the time, or a
// negative one when anything failed.
double TimeReadChip(DeviceLink& link, const CountingMessenger& messages, std::size_t& accesses) {
  link.cache().clear();
  const auto start = Clock::now();
  const ReadAllResult result = ReadAllRegisters(link);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  accesses = result.tally.accesses;
  const bool filled = link.cache().value(reg::CHIP_ID_REG).has_value();
  return result.tally.allWentThrough() && messages.count() == 0 && filled ? seconds : -1.0;
}

bool Ethernet(int runs) {
  ChipModel chip{ChipModel::Behaviour::Chip};
  BoardServer board{chip};
  if (board.start()) return false;
  std::unique_ptr<UsbBridge> absent = MakeAbsentBridge();
  CountingMessenger messages;
  DeviceLink link{*absent, messages};
  CodecOperations codec{link};
  link.settings().connectionType = "Ethernet";
  link.settings().ethernetAddress = "127.0.0.1";
  link.settings().ethernetPort = board.port();
  std::vector<double> ratios;
  std::size_t accesses = 0;
  for (int run = 0; run < runs; ++run) {
    const double seconds = TimeReadChip(link, messages, accesses);
    if (seconds < 0) return false;
    ratios.push_back(seconds * 1000.0 / (static_cast<double>(accesses) * kPauseMs));
  }
  std::printf("  Ethernet, %zu reads: %.2f s, ratio to reads x 20 ms %.3f (median of %d, best %.3f)\n", accesses,
              Median(ratios) * static_cast<double>(accesses) * kPauseMs / 1000.0, Median(ratios), runs,
              *std::min_element(ratios.begin(), ratios.end()));
  return true;
}

bool CacheCost(int runs) {
  ChipModel chip{ChipModel::Behaviour::Chip};
  SimulatedBridge bridge{chip};
  CountingMessenger messages;
  DeviceLink cached{bridge, messages};
  CodecOperations codec{cached};
  DeviceLink plain{bridge, messages};
  ConnectRequest request;
  request.i2cAddress = ChipModel::kI2cDeviceAddress;
  if (!Connect(cached, request, Owner::none()) || !Connect(plain, request, Owner::none())) return false;
  constexpr int kReadings = 2000;
  std::vector<double> with, without;
  for (int run = 0; run < runs; ++run) {
    for (DeviceLink* link : {&cached, &plain}) {
      const auto start = Clock::now();
      for (int i = 0; i < kReadings; ++i) {
        if (!ReadAllRegisters(*link).tally.allWentThrough()) return false;
      }
      const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kReadings;
      (link == &cached ? with : without).push_back(us);
    }
  }
  std::printf("  simulated bridge, in-process: %.1f us a Read Chip with the cache, %.1f us without (ratio %.2f, "
              "median of %d)\n",
              Median(with), Median(without), Median(with) / Median(without), runs);
  return messages.count() == 0;
}

bool Usb(int runs, std::uint32_t clockHz) {
  ChipModel chip{ChipModel::Behaviour::Chip};
  EmulatedFt2232h device{chip};
  EmulatedUsb usb;
  usb.attach(device);
  FtdiBridge bridge{usb, std::nullopt};
  CountingMessenger messages;
  DeviceLink link{bridge, messages};
  CodecOperations codec{link};
  link.settings().i2cClockHz = clockHz;
  ConnectRequest request;
  request.i2cAddress = ChipModel::kI2cDeviceAddress;
  if (!Connect(link, request, Owner::none())) return false;
  EmulatedFt2232h::Timing timing;
  timing.sleep = true;
  device.setTiming(timing);
  std::vector<double> ratios;
  std::size_t accesses = 0;
  double busUs = 0;
  for (int run = 0; run < runs; ++run) {
    device.clearStats();
    const double seconds = TimeReadChip(link, messages, accesses);
    if (seconds < 0) return false;
    busUs = std::chrono::duration<double, std::micro>(device.stats().busTime).count();
    const double limitUs = busUs + static_cast<double>(accesses) * kRoundTripUs;
    ratios.push_back(limitUs / (seconds * 1e6));
  }
  std::printf("  USB emulator, I2C %3u kHz, %zu reads: bus %.1f ms, ratio of bus time plus round trips to the "
              "time taken %.3f (median of %d)\n",
              clockHz / 1000, accesses, busUs / 1000.0, Median(ratios), runs);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: read_chip_bench [--runs N]\n");
      return 2;
    }
  }
  std::printf("Read Chip:\n");
  bool ok = Ethernet(runs);
  ok = CacheCost(runs) && ok;
  for (const std::uint32_t clockHz : {kI2cStandardClockHz, kI2cFastClockHz}) ok = Usb(runs, clockHz) && ok;
  return ok ? 0 : 1;
}
