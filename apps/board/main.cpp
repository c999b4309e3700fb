// tonvisor-board: a stand-in for the board that relays register accesses over TCP, so the
// Ethernet link can be used and tested with no hardware. It serves the register protocol
// from an emulated register file that starts at 0 (or at what --preset says).

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/ethernet_protocol.h"
#include "link/typed_text.h"
#include "sim/board_server.h"
#include "sim/chip_model.h"
#include "tonvisor/version.h"

namespace {

using tonvisor::BoardAccess;
using tonvisor::BoardServer;
using tonvisor::ChipModel;
using tonvisor::ReadDottedIpv4;
using tonvisor::ReadPort;
using tonvisor::ReadStrictHex16;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage: tonvisor-board [--listen ADDR] [--port N] [--preset ADDR=VALUE]... [--verbose] [--help] [--version]\n"
    "\n"
    "Serves the KRVL7300 Ethernet register protocol over TCP from an emulated register file\n"
    "whose registers all start at 0.\n"
    "\n"
    "  --listen ADDR        dotted IPv4 address to listen on (default 127.0.0.1;\n"
    "                       0.0.0.0 for every interface)\n"
    "  --port N             TCP port (default 30, which needs root; 0 picks a free port).\n"
    "                       The address and port in use are printed at start.\n"
    "  --preset ADDR=VALUE  start register ADDR at VALUE, both hexadecimal, 0x optional;\n"
    "                       may be repeated\n"
    "  --verbose            print one line per register access, refusal and dropped connection\n"
    "  --help               print this text and exit\n"
    "  --version            print the program's version and exit\n"
    "\n"
    "Runs until SIGINT (Ctrl-C) or SIGTERM.\n";

struct Preset {
  std::uint16_t address;
  std::uint16_t value;
};

struct Settings {
  std::string listen = "127.0.0.1";
  std::uint16_t port = static_cast<std::uint16_t>(tonvisor::ethernet::kDefaultPort);
  std::vector<Preset> presets;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

int UsageError(const std::string& problem) {
  std::fprintf(stderr, "tonvisor-board: %s\n\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

// Fills settings from the arguments; returns 0, or the exit code of a usage error.
int ParseArguments(int argc, char** argv, Settings& settings) {
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    std::optional<std::string_view> inlineValue;
    if (const auto equals = argument.find('='); argument.starts_with("--") && equals != std::string_view::npos) {
      inlineValue = argument.substr(equals + 1);
      argument = argument.substr(0, equals);
    }
    const auto takeValue = [&]() -> std::optional<std::string_view> {
      if (inlineValue) return inlineValue;
      if (i + 1 < argc) return std::string_view(argv[++i]);
      return std::nullopt;
    };

    if (argument == "--help" || argument == "-h") {
      settings.help = true;
    } else if (argument == "--version" && !inlineValue) {
      settings.version = true;
    } else if (argument == "--verbose" && !inlineValue) {
      settings.verbose = true;
    } else if (argument == "--listen") {
      const auto value = takeValue();
      if (!value) return UsageError("--listen needs a dotted IPv4 address");
      const std::string text(*value);
      if (!ReadDottedIpv4(text)) {
        return UsageError("--listen " + text + ": not a dotted IPv4 address");
      }
      settings.listen = text;
    } else if (argument == "--port") {
      const auto value = takeValue();
      if (!value) return UsageError("--port needs a number from 0 to 65535");
      const auto port = ReadPort(*value);
      if (!port) return UsageError("--port " + std::string(*value) + ": not a number from 0 to 65535");
      settings.port = *port;
    } else if (argument == "--preset") {
      const auto value = takeValue();
      if (!value) return UsageError("--preset needs ADDR=VALUE");
      const auto equals = value->find('=');
      const auto address = equals == std::string_view::npos ? std::nullopt : ReadStrictHex16(value->substr(0, equals));
      const auto data = equals == std::string_view::npos ? std::nullopt : ReadStrictHex16(value->substr(equals + 1));
      if (!address || !data) {
        return UsageError("--preset " + std::string(*value) +
                          ": expected ADDR=VALUE, two hexadecimal numbers up to FFFF, such as 0x0002=0xA011");
      }
      settings.presets.push_back({*address, *data});
    } else {
      return UsageError("unknown option " + std::string(argv[i]));
    }
  }
  return 0;
}

void PrintAccess(const BoardAccess& access) {
  switch (access.kind) {
    case BoardAccess::Kind::Read:
      std::printf("read  0x%04X -> 0x%04X\n", access.address, access.value);
      break;
    case BoardAccess::Kind::Write:
      std::printf("write 0x%04X <- 0x%04X\n", access.address, access.value);
      break;
    case BoardAccess::Kind::Refused:
      std::printf("refused: %s (command 0x%08X), return code %u\n", access.detail.c_str(),
                  static_cast<unsigned>(access.command), static_cast<unsigned>(access.code));
      break;
    case BoardAccess::Kind::Dropped:
      std::printf("dropped: %s\n", access.detail.c_str());
      break;
  }
  std::fflush(stdout);
}

// Says which option to change when the address and port cannot be bound.
void ReportStartFailure(const Settings& settings, const std::error_code& error) {
  const std::string where = settings.listen + ":" + std::to_string(settings.port);
  if (error == std::errc::address_not_available) {
    std::fprintf(stderr, "tonvisor-board: --listen %s: cannot listen on %s: %s (not an address of this machine)\n",
                 settings.listen.c_str(), where.c_str(), error.message().c_str());
    return;
  }
  std::string hint = "choose another with --port";
  if (error == std::errc::permission_denied && settings.port < 1024) {
    hint = "ports below 1024 need root; " + hint;
  } else if (error == std::errc::address_in_use) {
    hint = "another program is using it; " + hint;
  }
  std::fprintf(stderr, "tonvisor-board: --port %u: cannot listen on %s: %s (%s)\n",
               static_cast<unsigned>(settings.port), where.c_str(), error.message().c_str(), hint.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (const int code = ParseArguments(argc, argv, settings); code != 0) return code;
  if (settings.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (settings.version) {
    std::printf("tonvisor-board %s\n", tonvisor::kVersion);
    return 0;
  }

  // The server thread inherits this mask, so the two stop signals reach only the sigwait
  // below and the shutdown runs in ordinary code, not in a handler.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // Sends never raise SIGPIPE; this is a second line of defence.
  signal(SIGPIPE, SIG_IGN);

  ChipModel chip(ChipModel::Behaviour::Chip);
  for (const Preset& preset : settings.presets) chip.write(preset.address, preset.value);

  BoardServer::Options options;
  options.address = settings.listen;
  options.port = settings.port;
  if (settings.verbose) options.onAccess = PrintAccess;
  BoardServer server(chip, options);
  if (const std::error_code error = server.start()) {
    ReportStartFailure(settings, error);
    return kExitFailure;
  }
  std::printf("tonvisor-board: listening on %s:%u\n", settings.listen.c_str(), static_cast<unsigned>(server.port()));
  std::fflush(stdout);

  int received = 0;
  while (sigwait(&stopSignals, &received) != 0) {
  }
  server.stop();
  std::printf("tonvisor-board: stopped on %s after %llu register accesses\n", received == SIGINT ? "SIGINT" : "SIGTERM",
              static_cast<unsigned long long>(server.accessCount()));
  return 0;
}
