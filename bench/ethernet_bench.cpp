// Ethernet link figures on loopback, against the board emulator in this process:
//  (a) how close a run of register accesses with the board's 20 ms pause comes to N x 20 ms,
//      i.e. what the protocol itself adds (a ratio of 1.00 means nothing);
//  (b) how many accesses per second the board serves when the client does not pause.
//
//   ethernet_bench [--accesses N] [--seconds S]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/device_link.h"
#include "link/ethernet_transport.h"
#include "link/messenger.h"
#include "link/write_log.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tonvisor::BoardServer;
using tonvisor::ChipModel;
using tonvisor::EthernetOptions;
using tonvisor::DeviceLink;
using tonvisor::MakeAbsentBridge;
using tonvisor::UsbBridge;
using tonvisor::LinkSettings;
using tonvisor::Message;
using tonvisor::Messenger;
using tonvisor::WriteLog;

// Counts the messages a client shows: a benchmark run must have none.
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

// One Ethernet client with its own link and log, as the program has it. With the pause, it sleeps as
// the transport does on its own, and keeps the time slept apart so the run can tell the
// exchange's cost from the sleep's overshoot.
struct Client {
  Client(std::uint16_t port, bool pause) {
    EthernetOptions options;
    if (pause) {
      options.pause = [this](std::chrono::milliseconds length) {
        const auto start = Clock::now();
        tonvisor::PreciseSleep(length);  // what the transport does on its own
        paused += Clock::now() - start;
      };
    } else {
      options.accessPause = 0ms;
    }
    link = std::make_unique<DeviceLink>(*bridge, messages, options);
    link->settings().connectionType = "Ethernet";
    link->settings().ethernetAddress = "127.0.0.1";
    link->settings().ethernetPort = port;
  }
  // The log keeps at most 2000 entries; long runs empty it as Connect would.
  void keepLogRoom() {
    if (link->writeLog().full()) link->writeLog().clear();
  }
  CountingMessenger messages;
  Clock::duration paused{};
  std::unique_ptr<UsbBridge> bridge = MakeAbsentBridge();
  std::unique_ptr<DeviceLink> link;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// (a) N accesses with the real pause; returns false when one of them failed.
bool PausedRun(std::uint16_t port, int accesses, bool reads) {
  Client client(port, true);
  std::uint16_t value = 0;
  const auto start = Clock::now();
  for (int i = 0; i < accesses; ++i) {
    if (reads) {
      value = client.link->Read(0x0002).value.value_or(value);
    } else {
      client.keepLogRoom();
      client.link->Write(0x0024, static_cast<std::uint16_t>(i));
    }
  }
  const double measured = Seconds(Clock::now() - start);
  const double floor = accesses * 0.020;
  const double slept = Seconds(client.paused);
  std::printf("  %-6s x %4d with the 20 ms pause: %7.3f s against %6.3f s  ratio %.4f\n"
              "      per access: exchange %.3f ms, pause overshoot %.3f ms\n",
              reads ? "reads" : "writes", accesses, measured, floor, measured / floor,
              (measured - slept) * 1000.0 / accesses, (slept - floor) * 1000.0 / accesses);
  return client.messages.count() == 0;
}

struct Throughput {
  long accesses = 0;
  double seconds = 0;
  std::vector<double> latenciesUs;
};

// (b) accesses back to back for the given time from `clients` threads at once.
bool UnpausedRun(std::uint16_t port, int clients, double seconds, bool reads, Throughput& total) {
  std::vector<std::unique_ptr<Client>> all;
  for (int c = 0; c < clients; ++c) all.push_back(std::make_unique<Client>(port, false));
  std::vector<Throughput> results(static_cast<std::size_t>(clients));
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      Client& client = *all[static_cast<std::size_t>(c)];
      Throughput& result = results[static_cast<std::size_t>(c)];
      std::uint16_t value = 0;
      const auto address = static_cast<std::uint16_t>(0x0100 + c);
      while (Clock::now() < end) {
        const auto before = Clock::now();
        if (reads) {
          value = client.link->Read(address).value.value_or(value);
        } else {
          client.keepLogRoom();
          client.link->Write(address, static_cast<std::uint16_t>(result.accesses));
        }
        result.latenciesUs.push_back(Seconds(Clock::now() - before) * 1e6);
        ++result.accesses;
      }
    });
  }
  for (auto& t : threads) t.join();
  total.seconds = Seconds(Clock::now() - start);
  bool clean = true;
  for (int c = 0; c < clients; ++c) {
    total.accesses += results[static_cast<std::size_t>(c)].accesses;
    const auto& l = results[static_cast<std::size_t>(c)].latenciesUs;
    total.latenciesUs.insert(total.latenciesUs.end(), l.begin(), l.end());
    clean = clean && all[static_cast<std::size_t>(c)]->messages.count() == 0;
  }
  std::sort(total.latenciesUs.begin(), total.latenciesUs.end());
  const auto percentile = [&](double p) {
    if (total.latenciesUs.empty()) return 0.0;
    return total.latenciesUs[static_cast<std::size_t>(p * static_cast<double>(total.latenciesUs.size() - 1))];
  };
  std::printf("  %-6s, %d client%s, no pause: %8.0f accesses/s  (%ld in %.2f s; latency median %.0f us, p99 %.0f us)\n",
              reads ? "reads" : "writes", clients, clients == 1 ? " " : "s", total.accesses / total.seconds,
              total.accesses, total.seconds, percentile(0.5), percentile(0.99));
  return clean;
}

int Usage() {
  std::fprintf(stderr, "usage: ethernet_bench [--accesses N] [--seconds S]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int accesses = 200;
  double seconds = 2.0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--accesses") == 0 && i + 1 < argc) {
      accesses = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (accesses <= 0 || seconds <= 0) return Usage();

  ChipModel chip;
  BoardServer board(chip);
  if (const std::error_code error = board.start()) {
    std::fprintf(stderr, "ethernet_bench: cannot start the board: %s\n", error.message().c_str());
    return 1;
  }

  std::printf("Ethernet link on loopback, board emulator on 127.0.0.1:%u\n", static_cast<unsigned>(board.port()));
  std::printf("(a) paced run, goal ratio <= 1.01\n");
  bool clean = PausedRun(board.port(), accesses, false);
  clean = PausedRun(board.port(), accesses, true) && clean;

  std::printf("(b) board throughput, goal >= 5000 accesses/s\n");
  Throughput writes1, reads1, writes4;
  clean = UnpausedRun(board.port(), 1, seconds, false, writes1) && clean;
  clean = UnpausedRun(board.port(), 1, seconds, true, reads1) && clean;
  clean = UnpausedRun(board.port(), 4, seconds, false, writes4) && clean;

  board.stop();
  if (!clean) {
    std::fprintf(stderr, "ethernet_bench: some accesses failed; the figures above are not valid\n");
    return 1;
  }
  return 0;
}
